#!/usr/bin/env bash
# The Quick Scan at scale: sparse 1 TiB FAT32 images written in code with
# 10 000, 100 000 and 1 000 000 entries (make_scale_image.py), scanned by
# `salvor-cli scan --json` (the deleted files) and `--all` (every entry),
# output into a file. Prints a table of CPU seconds, microseconds per entry
# and peak memory; the cost per entry should stay flat.
#
#   bench/scale_bench.sh BUILD_DIR [WORK_DIR]
#
# WORK_DIR (default ${TMPDIR:-/tmp}/salvor-scale) keeps the images (sparse:
# about 50 MiB on disk in all). Not part of the test run.
set -euo pipefail
if [[ $# -lt 1 ]]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 1
fi
build=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-scale}
here=$(cd "$(dirname "$0")" && pwd)
cli=$build/bin/salvor-cli
mkdir -p "$work"

echo "| entries | listed | CPU s | µs / entry | peak MiB | listed (--all) | CPU s | µs / entry | peak MiB |"
echo "|---------|--------|-------|------------|----------|----------------|-------|------------|----------|"
for entries in 10000 100000 1000000; do
  image=$work/scale-$entries.img
  [[ -f $image ]] || python3 "$here/make_scale_image.py" "$image" "$entries"
  row="| $entries"
  for all in "" --all; do
    /usr/bin/time -o "$work/time" -f '%U %S %M' "$cli" scan "$image" --json $all >"$work/out" 2>/dev/null || true
    read -r user system peak <"$work/time"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    per=$(awk -v c="$cpu" -v n="$entries" 'BEGIN { printf "%.1f", c * 1e6 / n }')
    row+=" | $(wc -l <"$work/out" | tr -d ' ') | $cpu | $per | $(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')"
  done
  echo "$row |"
done
