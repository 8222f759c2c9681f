#!/usr/bin/env python3
"""Writes a sparse 1 TiB FAT32 image with ENTRIES directory entries, for the
scale benchmark: folders ten wide and several deep (every folder holds ten
sub-folders until there are enough to hold the files, a hundred files each),
plus one chain of 64 nested folders; every tenth file is deleted. Files are
empty (no clusters), so only directories take room: the image holds the boot
sector, the FAT entries of the directory clusters and the directories, and
is sparse everywhere else.

    make_scale_image.py IMAGE ENTRIES
"""
import struct
import sys

SECTOR = 512
CLUSTER_SECTORS = 64  # 32 KiB clusters
CLUSTER = SECTOR * CLUSTER_SECTORS
TOTAL_SECTORS = (1 << 40) // SECTOR
RESERVED = 32
FATS = 1
CLUSTERS_MAX = TOTAL_SECTORS // CLUSTER_SECTORS
FAT_SECTORS = ((CLUSTERS_MAX + 2) * 4 + SECTOR - 1) // SECTOR
DATA_START = (RESERVED + FATS * FAT_SECTORS) * SECTOR
CLUSTER_COUNT = (TOTAL_SECTORS - RESERVED - FATS * FAT_SECTORS) // CLUSTER_SECTORS
FILES_PER_FOLDER = 100
WIDTH = 10
DEEP_CHAIN = 64


def short_name(prefix, number):
    return (prefix + "%07d" % number).encode()[:8].ljust(8) + b"   "


def entry(name11, attributes, cluster, size=0):
    # 8.3 entry: name, attributes, times 2024-01-02 03:04:06, cluster halves, size.
    time = (3 << 11) | (4 << 5) | 3
    date = ((2024 - 1980) << 9) | (1 << 5) | 2
    return struct.pack("<11sBBBHHHHHHHI", name11, attributes, 0, 0, time, date, date, cluster >> 16, time, date,
                       cluster & 0xFFFF, size)


class Folder:
    def __init__(self, parent):
        self.parent = parent
        self.children = []
        self.files = 0
        self.cluster = 0


def plan(entries):
    root = Folder(None)
    folders = [root]
    count = 0
    # Breadth first, ten wide, until the folders can hold the files.
    need = max(1, entries // (FILES_PER_FOLDER + 1))
    queue = [root]
    while len(folders) < need:
        parent = queue.pop(0)
        for _ in range(WIDTH):
            if len(folders) >= need:
                break
            child = Folder(parent)
            parent.children.append(child)
            folders.append(child)
            queue.append(child)
    # The deep chain below the first folder.
    parent = folders[0]
    for _ in range(DEEP_CHAIN):
        child = Folder(parent)
        parent.children.append(child)
        folders.append(child)
        parent = child
    count = len(folders) - 1
    # Files, a hundred per folder, the deepest folders last.
    for folder in folders:
        if count >= entries:
            break
        take = min(FILES_PER_FOLDER, entries - count)
        folder.files = take
        count += take
    return root, folders


def main():
    image, entries = sys.argv[1], int(sys.argv[2])
    root, folders = plan(entries)
    # Clusters: each folder's directory in one contiguous run.
    next_cluster = 2
    sizes = {}
    for folder in folders:
        slots = 2 + len(folder.children) + folder.files + 1
        clusters = (slots * 32 + CLUSTER - 1) // CLUSTER
        folder.cluster = next_cluster
        sizes[id(folder)] = clusters
        next_cluster += clusters
    assert next_cluster < CLUSTER_COUNT
    with open(image, "wb") as out:
        out.truncate(TOTAL_SECTORS * SECTOR)
        boot = bytearray(SECTOR)
        struct.pack_into("<3s8sHBHBHHBHHHII", boot, 0, b"\xEB\x58\x90", b"MSWIN4.1", SECTOR, CLUSTER_SECTORS,
                         RESERVED, FATS, 0, 0, 0xF8, 0, 63, 255, 0, TOTAL_SECTORS)
        struct.pack_into("<IHHIHH12sBBBI11s8s", boot, 36, FAT_SECTORS, 0, 0, 2, 1, 6, b"\0" * 12, 0x80, 0, 0x29,
                         0x5A1FBE4C, b"SCALE      ", b"FAT32   ")
        boot[510:512] = b"\x55\xAA"
        out.seek(0)
        out.write(boot)
        # FSInfo
        info = bytearray(SECTOR)
        struct.pack_into("<I", info, 0, 0x41615252)
        struct.pack_into("<III", info, 484, 0x61417272, 0xFFFFFFFF, 0xFFFFFFFF)
        info[510:512] = b"\x55\xAA"
        out.seek(SECTOR)
        out.write(info)
        # The FAT: media and end marks, then each directory's chain.
        fat = bytearray((next_cluster + 1) * 4)
        struct.pack_into("<II", fat, 0, 0x0FFFFFF8, 0x0FFFFFFF)
        for folder in folders:
            n = sizes[id(folder)]
            for i in range(n):
                value = folder.cluster + i + 1 if i + 1 < n else 0x0FFFFFFF
                struct.pack_into("<I", fat, (folder.cluster + i) * 4, value)
        out.seek(RESERVED * SECTOR)
        out.write(fat)
        number = 0
        for folder in folders:
            data = bytearray()
            if folder is not root:
                parent_cluster = folder.parent.cluster if folder.parent is not root else 0
                data += entry(b".          ", 0x10, folder.cluster)
                data += entry(b"..         ", 0x10, parent_cluster)
            for child in folder.children:
                number += 1
                data += entry(short_name("D", number), 0x10, child.cluster)
            for f in range(folder.files):
                number += 1
                name = bytearray(short_name("F", number))
                name[8:11] = b"DAT"
                if f % 10 == 9:
                    name[0] = 0xE5
                data += entry(bytes(name), 0x20, 0, 0)
            out.seek(DATA_START + (folder.cluster - 2) * CLUSTER)
            out.write(data)


if __name__ == "__main__":
    main()
