#!/usr/bin/env bash
# FAT32 throughput against dd, measured in one run on one cached image:
#  1. the Unformatting Scan (`salvor-cli scan --unformat`) of a 2 GiB FAT32
#     image that was quick-formatted over a filled volume, against
#     `dd bs=32M` reading the whole image;
#  2. recovering a deleted 1 GiB file (`salvor-cli recover`), against
#     `dd bs=32M` copying the same byte range into a file on the same disk.
#     The recovery flushes its file to disk when done, so dd is timed with
#     conv=fsync as the like-for-like figure, and without it as well.
# Each command runs three times and the fastest run counts; ratios are dd's
# time over ours (1.0: as fast as dd).
#
#   bench/fat_bench.sh SALVOR_CLI [WORK_DIR]
#
# WORK_DIR (default ${TMPDIR:-/tmp}/salvor-fat-bench) keeps the images between
# runs; delete it to build them again. Needs about 5 GiB there, dosfstools
# and mtools. Not part of the test run.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 SALVOR_CLI [WORK_DIR]" >&2
  exit 1
fi
salvor_cli=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-fat-bench}
mkdir -p "$work"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

image=$work/fat32-2g.img          # the filled volume, big file deleted
formatted=$work/fat32-2g-formatted.img
big_bytes=$((1024 * 1024 * 1024))

if [[ ! -f $formatted || ! -f $image ]]; then
  echo "building the images in $work ..."
  rm -f "$image" "$formatted"
  mkfs.fat -F 32 -s 8 -i 5A1FBE4C -C "$image" $((2 * 1024 * 1024)) >/dev/null
  # The 1 GiB file first, so that it lies in one run; then folders of small
  # files and a few larger ones, for the sweep to find after the format.
  head -c "$big_bytes" /dev/urandom >"$work/big.bin"
  # A long name: a deleted 8.3 name would lose its first character.
  mcopy -i "$image" "$work/big.bin" "::/Big data file.bin"
  rm -f "$work/big.bin"
  mkdir -p "$work/tree"
  for d in $(seq 1 40); do
    mkdir -p "$work/tree/Folder $d"
    for f in $(seq 1 25); do head -c $((f * 997)) /dev/urandom >"$work/tree/Folder $d/File number $f.dat"; done
  done
  mcopy -s -i "$image" "$work/tree" ::/Tree
  rm -rf "$work/tree"
  for n in 1 2 3 4 5 6; do
    head -c $((100 * 1024 * 1024)) /dev/urandom >"$work/part.bin"
    mcopy -i "$image" "$work/part.bin" "::/part$n.bin"
  done
  rm -f "$work/part.bin"
  mdel -i "$image" "::/Big data file.bin"
  # Every byte on disk, not a sparse file: both sides read real data.
  cp --sparse=never "$image" "$image.full" && mv "$image.full" "$image"
  cp --sparse=never "$image" "$formatted"
  mkfs.fat -F 32 -s 8 -i 5A1FBE4C "$formatted" >/dev/null
fi

# seconds COMMAND...: the fastest of three runs, in seconds.
seconds() {
  local best="" start end t
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z $best ]] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / 1048576 / s }'; }  # MiB/s from bytes and seconds
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

size=$(stat -c %s "$formatted")
cat "$image" "$formatted" >/dev/null  # into the page cache

# --- 1. Unformatting Scan against reading the image -----------------------
scan_s=$(seconds "$salvor_cli" scan "$formatted" --unformat --json)
dd_read_s=$(seconds dd if="$formatted" of=/dev/null bs=32M)
found=$("$salvor_cli" scan "$formatted" --unformat --json | wc -l)

# --- 2. Recovering the deleted 1 GiB file against copying its bytes --------
first_cluster=$("$salvor_cli" scan "$image" --json | sed -n 's/.*"path":"Big data file.bin".*"first_cluster":\([0-9]*\).*/\1/p')
if [[ -z $first_cluster ]]; then
  echo "$0: the deleted \"Big data file.bin\" was not found" >&2
  exit 1
fi
u16() { od -An -tu2 -j"$1" -N2 "$image" | tr -d ' '; }
u8() { od -An -tu1 -j"$1" -N1 "$image" | tr -d ' '; }
u32() { od -An -tu4 -j"$1" -N4 "$image" | tr -d ' '; }
bytes_per_sector=$(u16 11)
data_start=$(((($(u16 14)) + $(u8 16) * $(u32 36)) * bytes_per_sector))
offset=$((data_start + (first_cluster - 2) * $(u8 13) * bytes_per_sector))

out=$work/out
recover() { rm -rf "$out" && "$salvor_cli" recover "$image" --to "$out" "Big data file.bin"; }
dd_copy() { rm -rf "$out" && mkdir -p "$out" && dd if="$image" of="$out/big.bin" bs=32M iflag=skip_bytes,count_bytes skip="$offset" count="$big_bytes" "$@"; }
recover_s=$(seconds recover)
dd_copy_sync_s=$(seconds dd_copy conv=fsync)
dd_copy_s=$(seconds dd_copy)
# The recovered file is the bytes it was copied from.
recover
cmp "$out/Big data file.bin" <(dd if="$image" bs=32M iflag=skip_bytes,count_bytes skip="$offset" count="$big_bytes" status=none) ||
  { echo "$0: the recovered file differs from its bytes on the image" >&2; exit 1; }
rm -rf "$out"

printf 'Unformatting Scan of %s bytes (%s records): %ss, %s MiB/s\n' "$size" "$found" "$scan_s" "$(rate "$size" "$scan_s")"
printf '  dd bs=32M reading the image:                 %ss, %s MiB/s\n' "$dd_read_s" "$(rate "$size" "$dd_read_s")"
printf '  ratio (scan / dd throughput): %s\n' "$(ratio "$dd_read_s" "$scan_s")"
printf 'Recovery of a deleted 1 GiB file: %ss, %s MiB/s\n' "$recover_s" "$(rate "$big_bytes" "$recover_s")"
printf '  dd bs=32M conv=fsync copying its bytes:     %ss, %s MiB/s\n' "$dd_copy_sync_s" "$(rate "$big_bytes" "$dd_copy_sync_s")"
printf '  dd bs=32M copying its bytes (no flush):     %ss, %s MiB/s\n' "$dd_copy_s" "$(rate "$big_bytes" "$dd_copy_s")"
printf '  ratio against dd conv=fsync: %s; against dd without flush: %s\n' \
  "$(ratio "$dd_copy_sync_s" "$recover_s")" "$(ratio "$dd_copy_s" "$recover_s")"
