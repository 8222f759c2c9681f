#!/usr/bin/env bash
# salvor-cli recover refuses a destination on the very volume it recovers
# from (writing there could overwrite what is being recovered) unless
# --force is given. The volume is an exFAT image on a loop device mounted
# through exfat-fuse, so root, loop devices and FUSE are needed (skipped
# otherwise). With the image file as the source, a loop mount of it, an
# ntfs-3g or fusefat mount of an image and a device-mapper volume over one
# are refused too, the folder beside the image is not.
#
#   recover_destination_test.sh SALVOR_CLI
salvor_cli=$1
source "$(dirname "$0")/test_lib.sh"
need_tools losetup mkfs.exfat mount.exfat-fuse fusermount
((EUID == 0)) || skip "loop devices need root"

image=$work/volume.img
truncate -s 64M "$image"
mkfs.exfat "$image" >/dev/null 2>&1 || { echo "FAIL: mkfs.exfat"; exit 1; }
device=$(losetup -f --show "$image" 2>/dev/null) || skip "no loop device available"
mnt=$work/mnt
mkdir -p "$mnt"
mounts=("$mnt")
loops=("$device")
maps=()
cleanup() {
  local m
  for m in "${mounts[@]}"; do
    mountpoint -q "$m" && { umount "$m" 2>/dev/null || fusermount -u "$m" 2>/dev/null || umount -l "$m"; }
  done
  for m in "${maps[@]}"; do dmsetup remove "$m" 2>/dev/null; done
  for m in "${loops[@]}"; do losetup -d "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
mount.exfat-fuse "$device" "$mnt" >/dev/null 2>&1 || skip "exfat-fuse cannot mount here"
printf 'deleted content\n' >"$mnt/gone.txt"
rm "$mnt/gone.txt"
sync

run_cli "$work/on.out" "$work/on.err" recover "$device" --to "$mnt/recovered"
check "a destination on the scanned device is refused with exit 4 (got $rc)" test "$rc" -eq 4
check "the refusal says why" grep -q 'lies on the volume being scanned' "$work/on.err"
check "the refusal names --force" grep -q -- '--force' "$work/on.err"
check "nothing is written on the volume" test ! -e "$mnt/recovered"

run_cli "$work/elsewhere.out" "$work/elsewhere.err" recover "$device" --to "$work/elsewhere"
check "a destination elsewhere is taken (got $rc: $(cat "$work/elsewhere.err"))" test "$rc" -eq 0
check "the deleted file comes back" test "$(cat "$work/elsewhere/gone.txt" 2>/dev/null)" = "deleted content"

run_cli "$work/forced.out" "$work/forced.err" recover "$device" --to "$mnt/recovered" --force
check "--force recovers onto the volume anyway (got $rc: $(cat "$work/forced.err"))" test "$rc" -eq 0
# (Its content may already be lost: the new file can take the very clusters
# it is read from, which is why the destination is refused by default.)
check "--force wrote the file" test -f "$mnt/recovered/gone.txt"

# The image file as the source: its loop device is what is mounted.
run_cli "$work/image.out" "$work/image.err" recover "$image" --to "$mnt/from-image"
check "a destination on a loop mount of the scanned image is refused with exit 4 (got $rc)" test "$rc" -eq 4
check "nothing is written through the loop mount" test ! -e "$mnt/from-image"
run_cli "$work/beside.out" "$work/beside.err" recover "$image" --to "$work/beside-image"
check "the image's own folder is no part of it (got $rc: $(cat "$work/beside.err"))" test "$rc" -eq 0

# An NTFS image mounted by ntfs-3g straight from the file (the mount names
# the image), and a FAT image served by fusefat (only its command line does).
if command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null; then
  ntfs=$work/ntfs.img
  truncate -s 16M "$ntfs"
  mkntfs -F -Q -q "$ntfs" >/dev/null 2>&1
  mkdir -p "$work/ntfs"
  if ntfs-3g "$ntfs" "$work/ntfs" >/dev/null 2>&1; then
    mounts+=("$work/ntfs")
    run_cli "$work/ntfs.out" "$work/ntfs.err" recover "$ntfs" --to "$work/ntfs/out"
    check "a destination on an ntfs-3g mount of the scanned image is refused (got $rc)" test "$rc" -eq 4
  fi
fi
if command -v mkfs.fat >/dev/null && command -v fusefat >/dev/null; then
  fat=$work/fat.img
  mkfs.fat -F 32 -C "$fat" 40960 >/dev/null
  mkdir -p "$work/fat"
  if (cd "$work" && fusefat -o rw+ fat.img fat >/dev/null 2>&1); then
    mounts+=("$work/fat")
    run_cli "$work/fat.out" "$work/fat.err" recover "$fat" --to "$work/fat/out"
    check "a destination on a fusefat mount of the scanned image is refused (got $rc)" test "$rc" -eq 4
    check "nothing is written through the fusefat mount" test ! -e "$work/fat/out"
  fi
fi

# A device-mapper volume over a loop device of a second image: scanning the
# loop device or the image, a destination on the mapped volume is refused.
if command -v dmsetup >/dev/null; then
  second=$work/second.img
  truncate -s 64M "$second"
  mkfs.exfat "$second" >/dev/null 2>&1
  loop2=$(losetup -f --show "$second" 2>/dev/null) && loops+=("$loop2")
  map=salvor-test-$$
  if [[ -n ${loop2:-} ]] && dmsetup create "$map" --table "0 $((64 * 2048)) linear $loop2 0" 2>/dev/null; then
    maps+=("$map")
    mkdir -p "$work/mapped"
    if mount.exfat-fuse "/dev/mapper/$map" "$work/mapped" >/dev/null 2>&1; then
      mounts+=("$work/mapped")
      run_cli "$work/dm.out" "$work/dm.err" recover "$loop2" --to "$work/mapped/out"
      check "a destination on a device-mapper volume of the scanned disk is refused (got $rc)" test "$rc" -eq 4
      run_cli "$work/dm2.out" "$work/dm2.err" recover "$second" --to "$work/mapped/out"
      check "  ... also when the image under it is the source (got $rc)" test "$rc" -eq 4
    fi
  else
    echo "note: dmsetup cannot map devices here; device-mapper case skipped"
  fi
fi

finish
