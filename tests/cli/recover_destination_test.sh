#!/usr/bin/env bash
# salvor-cli recover refuses a destination on the very volume it recovers
# from (writing there could overwrite what is being recovered) unless
# --force is given. The volume is an exFAT image on a loop device mounted
# through exfat-fuse, so root, loop devices and FUSE are needed (skipped
# otherwise).
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
cleanup() {
  mountpoint -q "$mnt" && { umount "$mnt" 2>/dev/null || fusermount -u "$mnt"; }
  losetup -d "$device"
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

finish
