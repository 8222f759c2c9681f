#!/usr/bin/env bash
# salvor-cli on whole disks: volumes made by mkfs.fat (+ mtools) and mkntfs
# (+ ntfs-3g), copied into disk images whose tables sfdisk writes, checked
# against `sfdisk --json` and TSK's mmls:
#  - MBR with primaries and a logical partition, GPT with several partitions,
#    and 4096-byte sectors (GPT and MBR) list the partitions the oracles do,
#    each with its file system;
#  - scan --partition N lists exactly what scanning that volume alone lists,
#    and recover --partition N brings the deleted file back byte for byte;
#  - a source with several volumes and no --partition is refused (exit 2)
#    with the list;
#  - a wiped MBR, a wiped primary GPT (the backup is used, and said so), a
#    wiped GPT with its backup, and a disk re-partitioned over older volumes
#    all show the old volumes again by search.
#
#   disk_partitions_test.sh SALVOR_CLI
salvor_cli=$1
source "$(dirname "$0")/test_lib.sh"
need_tools jq sfdisk mmls mkfs.fat mcopy mkntfs ntfs-3g sha256sum split
[[ $(id -u) -eq 0 && -e /dev/fuse ]] || skip "ntfs-3g mounts need root and FUSE"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC

MiB=1048576
mnt=$work/mnt
mkdir -p "$mnt"
loop=
trap 'mountpoint -q "$mnt" && umount "$mnt"; [[ -n $loop ]] && losetup -d "$loop"; rm -rf "$work"' EXIT

# A FAT volume: fat_volume IMAGE MIB FAT_BITS SECTOR_BYTES SECTORS_PER_CLUSTER,
# holding Docs/keep.txt and the deleted Docs/gone file.bin (when mtools
# can write it: 512-byte sectors).
fat_volume() {
  rm -f "$1"
  mkfs.fat -C -F "$3" -S "$4" -s "$5" -n SALVOR "$1" $(($2 * 1024)) >/dev/null || return 1
  if (($4 == 512)); then
    seeded_bytes 7 3000 >"$work/keep.txt"
    seeded_bytes "$3" 70000 >"$work/gone-$3.bin"
    mmd -i "$1" ::/Docs && mcopy -i "$1" "$work/keep.txt" ::/Docs/keep.txt &&
      mcopy -i "$1" "$work/gone-$3.bin" "::/Docs/gone file.bin" && mdel -i "$1" "::/Docs/gone file.bin"
  fi
}

# An NTFS volume: ntfs_volume IMAGE MIB SECTOR_BYTES, holding
# Docs/keep.txt and the deleted Docs/gone.bin (512-byte sectors only).
ntfs_volume() {
  rm -f "$1"
  truncate -s "$2M" "$1"
  mkntfs -F -Q -q -s "$3" -c 4096 -L salvor "$1" >/dev/null 2>&1 || return 1
  (($3 == 512)) || return 0
  seeded_bytes 11 50000 >"$work/gone-ntfs.bin"
  ntfs-3g "$1" "$mnt" || return 1
  mkdir "$mnt/Docs" && seeded_bytes 7 3000 >"$mnt/Docs/keep.txt" && cp "$work/gone-ntfs.bin" "$mnt/Docs/gone.bin"
  sync
  rm "$mnt/Docs/gone.bin"
  umount "$mnt"
}

# place DISK VOLUME START_SECTOR [SECTOR_BYTES]: copies a volume into a disk.
place() {
  dd if="$2" of="$1" bs="${4:-512}" seek="$3" conv=notrunc status=none
}

fat_volume "$work/fat32.img" 34 32 512 1 || { echo "FAIL: mkfs.fat FAT32"; exit 1; }
fat_volume "$work/fat16.img" 8 16 512 2 || { echo "FAIL: mkfs.fat FAT16"; exit 1; }
ntfs_volume "$work/ntfs.img" 16 512 || { echo "FAIL: mkntfs"; exit 1; }
for v in fat32 fat16 ntfs; do
  "$salvor_cli" scan "$work/$v.img" >"$work/$v.alone" || fail "$v volume alone: scan failed"
done
grep -q "Docs/gone file.bin" "$work/fat32.alone" || fail "the FAT32 volume shows no deleted file"
grep -q "Docs/gone.bin" "$work/ntfs.alone" || fail "the NTFS volume shows no deleted file"

# oracle_sfdisk DISK: "start size type" per partition (types lower-case,
# without 0x), from sfdisk.
oracle_sfdisk() {
  sfdisk --json "$1" | jq -r '.partitiontable.partitions[] | "\(.start) \(.size) \(.type | ascii_downcase)"'
}
# ours DISK SECTOR_BYTES [OPTIONS]: the same from salvor-cli partitions.
ours() {
  local disk=$1 sector=$2
  shift 2
  "$salvor_cli" partitions "$disk" --json "$@" |
    jq -r --argjson s "$sector" '.partitions[] | select(.origin != "search") |
      (.type | ascii_downcase) as $t |
      "\(.start_bytes / $s) \(.length_bytes / $s) \(if ($t | startswith("0x")) then ($t | ltrimstr("0x") | ltrimstr("0")) else $t end)"'
}
# oracle_mmls DISK SECTOR_BYTES: "start length" of every volume mmls lists.
oracle_mmls() {
  mmls -b "$2" "$1" | awk '$2 ~ /^[0-9]+(:[0-9]+)?$/ && $0 !~ /Extended|Table/ { print $3 + 0, $5 + 0 }'
}
ours_volumes() {
  "$salvor_cli" partitions "$1" --json |
    jq -r --argjson s "$2" '.partitions[] | select(.file_system != "extended") | "\(.start_bytes / $s) \(.length_bytes / $s)"'
}
same_lists() {  # same_lists WHAT EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    fail "$1"
    diff <(echo "$2") <(echo "$3") | head -n 20
  else
    pass
  fi
}
# fs_of DISK INDEX [OPTIONS]: the file system partitions lists for INDEX.
fs_of() {
  local disk=$1 index=$2
  shift 2
  "$salvor_cli" partitions "$disk" --json "$@" | jq -r --argjson i "$index" '.partitions[] | select(.index == $i) | .file_system'
}
# scan_same WHAT DISK INDEX VOLUME [OPTIONS]: scan --partition INDEX lists
# what the volume alone lists.
scan_same() {
  local what=$1 disk=$2 index=$3 volume=$4
  shift 4
  if ! "$salvor_cli" scan "$disk" --partition "$index" "$@" >"$work/scan.out" 2>"$work/scan.err"; then
    fail "$what: scan --partition $index failed: $(cat "$work/scan.err")"
  elif ! cmp -s "$work/scan.out" "$work/$volume.alone"; then
    fail "$what: partition $index lists otherwise than the $volume volume alone"
    diff "$work/$volume.alone" "$work/scan.out" | head -n 10
  else
    pass
  fi
}

# ---- MBR: FAT32, NTFS, and a FAT16 logical partition ----
mbr=$work/mbr.img
truncate -s 64M "$mbr"
sfdisk -q "$mbr" <<'TABLE' || { echo "FAIL: sfdisk"; exit 1; }
label: dos
start=2048, size=69632, type=c
start=71680, size=32768, type=7
start=104448, size=24576, type=5
start=106496, size=16384, type=6
TABLE
place "$mbr" "$work/fat32.img" 2048
place "$mbr" "$work/ntfs.img" 71680
place "$mbr" "$work/fat16.img" 106496
same_lists "MBR: partitions as sfdisk lists them" "$(oracle_sfdisk "$mbr")" "$(ours "$mbr" 512)"
same_lists "MBR: volumes as mmls lists them" "$(oracle_mmls "$mbr" 512)" "$(ours_volumes "$mbr" 512)"
check "MBR: file systems" [ "$(fs_of "$mbr" 1) $(fs_of "$mbr" 2) $(fs_of "$mbr" 3) $(fs_of "$mbr" 5)" = "FAT32 NTFS extended FAT" ]
scan_same "MBR" "$mbr" 1 fat32
scan_same "MBR" "$mbr" 2 ntfs
scan_same "MBR" "$mbr" 5 fat16
"$salvor_cli" scan "$mbr" >/dev/null 2>"$work/several.err"
check "several volumes without --partition: exit 2" [ $? -eq 2 ]
check "several volumes: the error lists them" grep -q "choose one with --partition" "$work/several.err"
"$salvor_cli" scan "$mbr" --partition 3 >/dev/null 2>&1
check "the extended container is refused" [ $? -eq 2 ]

# Recovery through --partition, byte for byte.
"$salvor_cli" recover "$mbr" --partition 2 --to "$work/out-ntfs" >/dev/null 2>&1 || fail "recover --partition 2"
check "NTFS: the deleted file comes back" cmp -s "$work/out-ntfs/Docs/gone.bin" "$work/gone-ntfs.bin"
"$salvor_cli" recover "$mbr" --partition 1 --to "$work/out-fat32" >/dev/null 2>&1 || fail "recover --partition 1"
check "FAT32: the deleted file comes back" cmp -s "$work/out-fat32/Docs/gone file.bin" "$work/gone-32.bin"
"$salvor_cli" recover "$mbr" --partition 5 --to "$work/out-fat16" >/dev/null 2>&1 || fail "recover --partition 5"
check "FAT16 logical: the deleted file comes back" cmp -s "$work/out-fat16/Docs/gone file.bin" "$work/gone-16.bin"

# A wiped MBR: the search finds the three volumes, scannable by number.
wiped=$work/wiped-mbr.img
cp "$mbr" "$wiped"
dd if=/dev/zero of="$wiped" bs=512 count=1 conv=notrunc status=none
found=$("$salvor_cli" partitions "$wiped" --json | jq -r '.partitions[] | "\(.index) \(.start_bytes / 512) \(.file_system) \(.origin)"')
same_lists "wiped MBR: the search finds the volumes" "1 2048 FAT32 search
2 71680 NTFS search
3 106496 FAT search" "$found"
scan_same "wiped MBR" "$wiped" 2 ntfs
scan_same "wiped MBR" "$wiped" 3 fat16

# Re-partitioned: one new partition over the disk, formatted FAT32; the
# old NTFS and FAT16 volumes are found inside it.
repart=$work/repartitioned.img
cp "$mbr" "$repart"
sfdisk -q --wipe never "$repart" >/dev/null 2>&1 <<'TABLE' || fail "sfdisk over the old table"
label: dos
start=2048, type=c
TABLE
mkfs.fat --offset 2048 -F 32 -s 1 "$repart" $((63 * 1024)) >/dev/null || fail "mkfs.fat over the old volumes"
found=$("$salvor_cli" partitions "$repart" --search --json |
  jq -r '.partitions[] | "\(.start_bytes / 512) \(.file_system) \(.origin) \(.overlaps)"')
same_lists "re-partitioned: the old volumes by search, over partition 1" "2048 FAT32 table []
71680 NTFS search [1]
106496 FAT search [1]" "$found"
ntfs_index=$("$salvor_cli" partitions "$repart" --search --json | jq -r '.partitions[] | select(.file_system == "NTFS") | .index')
scan_same "re-partitioned" "$repart" "$ntfs_index" ntfs --search

# ---- The same disk as E01, VHD, VHDX, VMDK and split raw images ----
# Each lists what the raw image lists, and scans partition 2 alike.
if command -v ewfacquire >/dev/null && command -v qemu-img >/dev/null; then
  "$salvor_cli" partitions "$mbr" >"$work/raw.list"
  ewfacquire -u -q -t "$work/disk" -f encase6 -c none -S 40MiB -C case -D disk -e salvor -E 1 -N none "$mbr" \
    >"$work/ewfacquire.log" 2>&1 || { cat "$work/ewfacquire.log"; fail "ewfacquire"; }
  qemu-img convert -f raw -O vhdx "$mbr" "$work/disk.vhdx" || fail "qemu-img vhdx"
  qemu-img convert -f raw -O vpc -o subformat=dynamic "$mbr" "$work/disk.vhd" || fail "qemu-img vpc"
  qemu-img convert -f raw -O vmdk "$mbr" "$work/disk.vmdk" || fail "qemu-img vmdk"
  split -b 20M -d -a 3 --numeric-suffixes=1 "$mbr" "$work/split.disk."
  [[ -f $work/disk.E02 ]] || fail "ewfacquire wrote one segment only"
  for image in disk.E01 disk.vhdx disk.vhd disk.vmdk split.disk.001; do
    "$salvor_cli" partitions "$work/$image" >"$work/image.list" 2>&1
    # The first line names the disk's size: a VHD rounds it to its geometry.
    same_lists "$image: the raw image's partitions" "$(tail -n +2 "$work/raw.list")" "$(tail -n +2 "$work/image.list")"
    scan_same "$image" "$work/$image" 2 ntfs
  done
  "$salvor_cli" recover "$work/disk.E01" --partition 5 --to "$work/out-e01" >/dev/null 2>&1 || fail "recover from E01"
  check "E01: the deleted file comes back" cmp -s "$work/out-e01/Docs/gone file.bin" "$work/gone-16.bin"
else
  echo "note: ewfacquire or qemu-img missing (ewf-tools, qemu-utils): image formats not checked"
fi

# ---- GPT with three partitions ----
gpt=$work/gpt.img
truncate -s 64M "$gpt"
sfdisk -q "$gpt" <<'TABLE' || { echo "FAIL: sfdisk GPT"; exit 1; }
label: gpt
start=2048, size=69632, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="fat32"
start=71680, size=32768, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="ntfs"
start=104448, size=16384, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4
TABLE
place "$gpt" "$work/fat32.img" 2048
place "$gpt" "$work/ntfs.img" 71680
place "$gpt" "$work/fat16.img" 104448
same_lists "GPT: partitions as sfdisk lists them" "$(oracle_sfdisk "$gpt")" "$(ours "$gpt" 512)"
same_lists "GPT: volumes as mmls lists them" "$(oracle_mmls "$gpt" 512)" "$(ours_volumes "$gpt" 512)"
scan_same "GPT" "$gpt" 2 ntfs
scan_same "GPT" "$gpt" 3 fat16

# The primary GPT wiped (with the protective MBR): the backup at the end.
cp "$gpt" "$work/gpt-backup.img"
dd if=/dev/zero of="$work/gpt-backup.img" bs=512 count=34 conv=notrunc status=none
"$salvor_cli" partitions "$work/gpt-backup.img" --json >"$work/backup.json"
check "wiped primary GPT: the backup's partitions" [ "$(jq -r '[.partitions[] | .origin] | join(",")' "$work/backup.json")" = \
  "backup table,backup table,backup table" ]
check "wiped primary GPT: said so" jq -e '.notes | any(test("backup header"))' "$work/backup.json" >/dev/null
scan_same "backup GPT" "$work/gpt-backup.img" 2 ntfs

# Both GPT copies wiped: the search.
dd if=/dev/zero of="$work/gpt-backup.img" bs=512 seek=$((64 * 2048 - 33)) count=33 conv=notrunc status=none
found=$("$salvor_cli" partitions "$work/gpt-backup.img" --json | jq -r '.partitions[] | "\(.start_bytes / 512) \(.file_system) \(.origin)"')
same_lists "wiped GPT and backup: the search finds the volumes" "2048 FAT32 search
71680 NTFS search
104448 FAT search" "$found"

# ---- 4096-byte sectors: GPT and MBR ----
# sfdisk writes the tables of a 4Kn disk through a loop device with
# 4096-byte logical sectors.
ntfs_volume "$work/ntfs4k.img" 16 4096 || fail "mkntfs -s 4096"
fat_volume "$work/fat16-4k.img" 32 16 4096 1 || fail "mkfs.fat -S 4096"
for label in gpt dos; do
  disk=$work/4k-$label.img
  truncate -s 64M "$disk"
  loop=$(losetup -b 4096 -f --show "$disk") || skip "no loop device with 4096-byte sectors"
  if [[ $label == gpt ]]; then types=(EBD0A0A2-B9E5-4433-87C0-68B6B72699C7 EBD0A0A2-B9E5-4433-87C0-68B6B72699C7); else types=(7 6); fi
  sfdisk -q "$loop" >/dev/null 2>&1 <<TABLE || fail "sfdisk 4096 $label"
label: $label
start=256, size=4096, type=${types[0]}
start=4352, size=8192, type=${types[1]}
TABLE
  expected=$(sfdisk --json "$loop" | jq -r '.partitiontable.partitions[] | "\(.start) \(.size) \(.type | ascii_downcase)"')
  losetup -d "$loop"
  loop=
  place "$disk" "$work/ntfs4k.img" 256 4096
  place "$disk" "$work/fat16-4k.img" 4352 4096
  same_lists "4096-byte sectors, $label: partitions as sfdisk lists them" "$expected" "$(ours "$disk" 4096)"
  same_lists "4096-byte sectors, $label: volumes as mmls lists them" "$(oracle_mmls "$disk" 4096)" "$(ours_volumes "$disk" 4096)"
  check "4096-byte sectors, $label: file systems" [ "$(fs_of "$disk" 1) $(fs_of "$disk" 2)" = "NTFS FAT" ]
  check "4096-byte sectors, $label: sector size" [ "$("$salvor_cli" partitions "$disk" --json | jq .sector_bytes)" = 4096 ]
done

finish
