#!/usr/bin/env bash
# salvor-cli drives --all on loop devices: a whole disk with an MBR written
# by sfdisk, a FAT32 volume from mkfs.fat, a blank volume and one whose
# first sector is noise are each listed with what their first sectors
# hold, and never written. Without --all only the FAT32 volume is listed.
#
#   drives_all_test.sh SALVOR_CLI
salvor_cli=$1
source "$(dirname "$0")/test_lib.sh"
need_tools losetup sfdisk mkfs.fat jq sha256sum
((EUID == 0)) || skip "loop devices need root"

disk=$work/disk.img
fat=$work/fat32.img
blank=$work/blank.img
noise=$work/noise.img
truncate -s 64M "$disk" "$blank" "$noise"
printf 'label: dos\n,20M,c\n,20M,7\n,,83\n' | sfdisk -q "$disk" || { echo "FAIL: sfdisk"; exit 1; }
mkfs.fat -F 32 -C "$fat" $((64 * 1024)) >/dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
seeded_bytes 7 512 | dd of="$noise" conv=notrunc status=none

loops=()
cleanup() {
  local l
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
declare -A device=()
for name in disk fat blank noise; do
  image=$work/$name.img
  [[ $name == fat ]] && image=$fat
  device[$name]=$(losetup -f --show "$image" 2>/dev/null) || skip "no loop device available"
  loops+=("${device[$name]}")
done
before=$(sha256sum "$disk" "$fat" "$blank" "$noise")

run_cli "$work/all.jsonl" "$work/all.err" drives --loop --all --json
check "drives --all exits 0 (got $rc: $(cat "$work/all.err"))" test "$rc" -eq 0
on_disk() { jq -r --arg root "$1" 'select(.root == $root) | "\(.on_disk) \(.scannable) \(.partitions // "-")"' "$work/all.jsonl"; }
check "the whole disk shows its MBR and its three partitions (got $(on_disk "${device[disk]}"))" \
  test "$(on_disk "${device[disk]}")" = "MBR false 3"
check "the FAT32 volume is FAT32 and scannable (got $(on_disk "${device[fat]}"))" \
  test "$(on_disk "${device[fat]}")" = "FAT32 true -"
check "the blank volume is blank (got $(on_disk "${device[blank]}"))" \
  test "$(on_disk "${device[blank]}")" = "blank false -"
check "the noisy one is unknown (got $(on_disk "${device[noise]}"))" \
  test "$(on_disk "${device[noise]}")" = "unknown false -"

run_cli "$work/table.out" "$work/table.err" drives --loop --all
check "the table has the ON DISK column" grep -q 'ON DISK' "$work/table.out"
check "  ... and the partition count" grep -qE "^${device[disk]} .*MBR \(3\)$" "$work/table.out"

run_cli "$work/plain.jsonl" "$work/plain.err" drives --loop --json
listed() { jq -r --arg root "$1" 'select(.root == $root) | .root' "$work/plain.jsonl"; }
check "without --all the FAT32 volume is listed" test "$(listed "${device[fat]}")" = "${device[fat]}"
check "  ... and the others are not" test -z "$(listed "${device[disk]}")$(listed "${device[blank]}")$(listed "${device[noise]}")"
check "  ... nor the --all fields" test "$(jq -r 'has("on_disk")' "$work/plain.jsonl" | sort -u | tr -d '\n')" = false

check "no device was written" test "$(sha256sum "$disk" "$fat" "$blank" "$noise")" = "$before"
finish
