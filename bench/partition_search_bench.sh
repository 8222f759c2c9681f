#!/usr/bin/env bash
# The lost-partition search against dd, in one run on one cached image: a
# 2 GiB disk image whose MBR was wiped, holding a FAT32 volume at 1 MiB and
# an NTFS volume at 1 GiB over data that is not zeros (so the image is not
# sparse and its sectors are not all blank). Timed:
#  1. `dd bs=8M` reading the whole image;
#  2. `salvor-cli partitions --search` (the first MiB sector by sector, then
#     the sectors around each MiB boundary: the whole disk is still read);
#  3. `salvor-cli partitions --search=deep` (every sector).
# Each command runs three times and the fastest run counts; ratios are dd's
# time over ours (1.0: as fast as dd).
#
#   bench/partition_search_bench.sh SALVOR_CLI [WORK_DIR]
#
# WORK_DIR (default ${TMPDIR:-/tmp}/salvor-search-bench) keeps the image
# between runs; delete it to build it again. Needs 2 GiB there, dosfstools
# and ntfs-3g (mkntfs). Not part of the test run.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 SALVOR_CLI [WORK_DIR]" >&2
  exit 1
fi
salvor_cli=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-search-bench}
mkdir -p "$work"
disk=$work/disk-2g.img

if [[ ! -f $disk ]]; then
  echo "building $disk ..."
  # Not zeros and not sparse: a repeated pseudo-random block.
  head -c $((8 << 20)) /dev/urandom >"$work/block"
  for _ in $(seq 256); do cat "$work/block"; done >"$disk.part"
  rm -f "$work/block"
  truncate -s 64M "$work/fat.img" && mkfs.fat -F 32 "$work/fat.img" >/dev/null
  truncate -s 64M "$work/ntfs.img" && mkntfs -F -Q -q "$work/ntfs.img" >/dev/null 2>&1
  dd if="$work/fat.img" of="$disk.part" bs=1M seek=1 conv=notrunc status=none
  dd if="$work/ntfs.img" of="$disk.part" bs=1M seek=1024 conv=notrunc status=none
  dd if=/dev/zero of="$disk.part" bs=512 count=1 conv=notrunc status=none
  rm -f "$work/fat.img" "$work/ntfs.img"
  mv "$disk.part" "$disk"
fi

# fastest COMMAND...: the best of three wall-clock times, in seconds.
fastest() {
  local best="" start end t
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z $best ]] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

cat "$disk" >/dev/null  # into the page cache
found=$("$salvor_cli" partitions "$disk" --search --json)
echo "found: $(jq -c '[.partitions[] | {start_bytes, file_system}]' <<<"$found" 2>/dev/null || echo "$found")"
dd_s=$(fastest dd if="$disk" of=/dev/null bs=8M status=none)
search_s=$(fastest "$salvor_cli" partitions "$disk" --search)
deep_s=$(fastest "$salvor_cli" partitions "$disk" --search=deep)
size_mib=$(($(stat -c %s "$disk") >> 20))
printf 'dd bs=8M:        %s s (%s MiB/s)\n' "$dd_s" "$(awk -v m="$size_mib" -v t="$dd_s" 'BEGIN { printf "%.0f", m / t }')"
printf 'search:          %s s, ratio to dd %s\n' "$search_s" "$(ratio "$dd_s" "$search_s")"
printf 'search=deep:     %s s, ratio to dd %s\n' "$deep_s" "$(ratio "$dd_s" "$deep_s")"
