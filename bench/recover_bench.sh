#!/usr/bin/env bash
# Recovery throughput, measured in one run on cached images:
#  1. many small files: recovering 10 000 deleted files (about 80 MB in 100
#     folders) of a FAT32 image (`salvor-cli recover`, which makes the run
#     durable before it reports), against `cp -r` of the recovered tree
#     followed by `sync`. Target: at most 1.2 times cp + sync.
#  2. one large file: recovering a deleted 1 GiB file, against `dd bs=32M`
#     copying the same bytes into a file (without and with conv=fsync).
#     Target: at least 0.95 of dd's throughput.
# Each command runs three times and the fastest run counts.
#
#   bench/recover_bench.sh SALVOR_CLI [WORK_DIR]
#
# WORK_DIR (default ${TMPDIR:-/tmp}/salvor-recover-bench) keeps the images
# between runs; delete it to build them again. Needs about 4 GiB there,
# dosfstools and mtools. Not part of the test run.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 SALVOR_CLI [WORK_DIR]" >&2
  exit 1
fi
salvor_cli=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-recover-bench}
mkdir -p "$work"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

small=$work/fat32-small-files.img
large=$work/fat32-large-file.img
big_bytes=$((1024 * 1024 * 1024))

if [[ ! -f $small ]]; then
  echo "building $small ..."
  mkfs.fat -F 32 -s 8 -C "$small.tmp" $((512 * 1024)) >/dev/null
  mkdir -p "$work/tree"
  for d in $(seq 1 100); do
    mkdir -p "$work/tree/Folder $d"
    for f in $(seq 1 100); do head -c $(((f * 7919 + d * 131) % 16384 + 1)) /dev/urandom >"$work/tree/Folder $d/File $f.dat"; done
  done
  mcopy -s -i "$small.tmp" "$work/tree" ::/Tree
  rm -rf "$work/tree"
  mdeltree -i "$small.tmp" ::/Tree
  mv "$small.tmp" "$small"
fi
if [[ ! -f $large ]]; then
  echo "building $large ..."
  mkfs.fat -F 32 -s 8 -C "$large.tmp" $((1200 * 1024)) >/dev/null
  head -c "$big_bytes" /dev/urandom >"$work/big.bin"
  mcopy -i "$large.tmp" "$work/big.bin" "::/Big data file.bin"
  rm -f "$work/big.bin"
  mdel -i "$large.tmp" "::/Big data file.bin"
  cp --sparse=never "$large.tmp" "$large" && rm -f "$large.tmp"
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
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / 1048576 / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
cat "$small" "$large" >/dev/null  # into the page cache

# --- 1. Many small files against cp -r + sync -------------------------------
out=$work/out
copy=$work/copy
recover_small() { rm -rf "$out" && sync && "$salvor_cli" recover "$small" --to "$out"; }
recover_small_s=$(seconds recover_small)
files=$(find "$out" -type f | wc -l)
bytes=$(du -sb "$out" | cut -f1)
cp_sync() { rm -rf "$copy" && sync && cp -r "$out" "$copy" && sync; }
cp_sync_s=$(seconds cp_sync)
rm -rf "$copy"

# --- 2. One large file against dd bs=32M ------------------------------------
first_cluster=$("$salvor_cli" scan "$large" --json | sed -n 's/.*"path":"Big data file.bin".*"first_cluster":\([0-9]*\).*/\1/p')
[[ -n $first_cluster ]] || { echo "$0: the deleted file was not found" >&2; exit 1; }
u16() { od -An -tu2 -j"$1" -N2 "$large" | tr -d ' '; }
u8() { od -An -tu1 -j"$1" -N1 "$large" | tr -d ' '; }
u32() { od -An -tu4 -j"$1" -N4 "$large" | tr -d ' '; }
bytes_per_sector=$(u16 11)
data_start=$(((($(u16 14)) + $(u8 16) * $(u32 36)) * bytes_per_sector))
offset=$((data_start + (first_cluster - 2) * $(u8 13) * bytes_per_sector))
recover_large() { rm -rf "$out" && sync && "$salvor_cli" recover "$large" --to "$out" "Big data file.bin"; }
dd_copy() {
  rm -rf "$out" && sync && mkdir -p "$out" &&
    dd if="$large" of="$out/big.bin" bs=32M iflag=skip_bytes,count_bytes skip="$offset" count="$big_bytes" "$@"
}
recover_large_s=$(seconds recover_large)
dd_s=$(seconds dd_copy)
dd_sync_s=$(seconds dd_copy conv=fsync)
recover_large
cmp "$out/Big data file.bin" <(dd if="$large" bs=32M iflag=skip_bytes,count_bytes skip="$offset" count="$big_bytes" status=none) ||
  { echo "$0: the recovered file differs from its bytes on the image" >&2; exit 1; }
rm -rf "$out"

printf 'Recovery of %s small files (%s bytes): %ss\n' "$files" "$bytes" "$recover_small_s"
printf '  cp -r of the recovered tree + sync:  %ss\n' "$cp_sync_s"
printf '  ratio (recovery time / cp + sync): %s (target: at most 1.2)\n' "$(ratio "$recover_small_s" "$cp_sync_s")"
printf 'Recovery of a deleted 1 GiB file: %ss, %s MiB/s\n' "$recover_large_s" "$(rate "$big_bytes" "$recover_large_s")"
printf '  dd bs=32M copying its bytes:            %ss, %s MiB/s\n' "$dd_s" "$(rate "$big_bytes" "$dd_s")"
printf '  dd bs=32M conv=fsync copying its bytes: %ss, %s MiB/s\n' "$dd_sync_s" "$(rate "$big_bytes" "$dd_sync_s")"
printf '  throughput ratio against dd: %s, against dd conv=fsync: %s (target: at least 0.95)\n' \
  "$(ratio "$dd_s" "$recover_large_s")" "$(ratio "$dd_sync_s" "$recover_large_s")"
