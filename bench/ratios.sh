#!/usr/bin/env bash
# salvor-cli end to end, as users run it (JSON Lines into a file), beside the
# engine alone, against dd and The Sleuth Kit on the same cached images in
# one run:
#  - FAT32 Quick Scan of a 2 GiB volume with 100 000 files in 1 000 folders,
#    96 of the folders deleted with mdeltree, against `fls -r -d`;
#  - NTFS Quick Scan of the same tree on a 2 GiB NTFS volume (the same 96
#    folders removed through ntfs-3g), against `fls -r -d`;
#  - the Unformatting Scan of quick-formatted copies of both, against
#    `dd bs=32M` reading the image;
#  - peak memory of every salvor-cli run against 64 MiB + 200 bytes per
#    item listed.
# Each command runs five times; the median counts. Times are wall-clock
# seconds on cached images; CPU seconds (user + system) are shown too, since
# on a shared machine they are the steadier figure. Ratios are ours over
# the other tool's time for the scans (lower is better; targets: FAT32 at
# most 0.25, NTFS at most 0.33) and dd's over ours for the sweeps (higher is
# better; target at least 0.8).
#
#   bench/ratios.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR is an optimised build (RelWithDebInfo or Release) with
# salvor-cli and the libraries built; the engine-only tool (bench_tool.cpp)
# is compiled against them. WORK_DIR (default
# ${TMPDIR:-/tmp}/salvor-ratios) keeps the images between runs; delete it to
# build them again (about 10 GiB, a few minutes; root and FUSE for ntfs-3g).
# Not part of the test run.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 1
fi
build=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-ratios}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
cli=$build/bin/salvor-cli
runs=${RUNS:-5}
mkdir -p "$work"
tool=$work/bench_tool
lib() { find "$build" -name "$1" -print -quit; }
c++ -std=c++20 -O2 -I"$root" "$here/bench_tool.cpp" "$(lib libsalvor_appcore.a)" "$(lib libsalvor_platform.a)" \
  "$(lib libsalvor_common.a)" -lewf -lvhdi -lvmdk -ldl -o "$tool"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

fat=$work/fat32.img
fat_formatted=$work/fat32-formatted.img
ntfs=$work/ntfs.img
ntfs_formatted=$work/ntfs-formatted.img

deleted_folders() { for d in $(seq 5 10 955); do printf 'Folder %04d\n' "$d"; done; }

if [[ ! -f $fat_formatted || ! -f $ntfs_formatted ]]; then
  echo "building the images in $work ..." >&2
  rm -rf "$work/tree"
  # 1 000 folders of 100 files of 512 bytes to 6 KiB.
  python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
pool = os.urandom(64 << 10)
for d in range(1000):
    folder = os.path.join(root, "Folder %04d" % d)
    os.makedirs(folder)
    for f in range(100):
        size = 512 * (1 + (d * 7 + f) % 12)
        start = (d * 131 + f * 17) % (60 << 10)
        with open(os.path.join(folder, "File number %03d.dat" % f), "wb") as out:
            out.write(pool[start:start + size])
PY
  rm -f "$fat" "$fat_formatted" "$ntfs" "$ntfs_formatted"
  mkfs.fat -F 32 -s 8 -i 5A1FBE4C -C "$fat" $((2 * 1024 * 1024)) >/dev/null
  mcopy -s -i "$fat" "$work/tree"/* ::/
  args=()
  while read -r folder; do args+=("::/$folder"); done < <(deleted_folders)
  mdeltree -i "$fat" "${args[@]}"
  cp --sparse=never "$fat" "$fat.full" && mv "$fat.full" "$fat"
  cp --sparse=never "$fat" "$fat_formatted"
  mkfs.fat -F 32 -s 8 -i 5A1FBE4C "$fat_formatted" >/dev/null

  truncate -s 2G "$ntfs"
  mkntfs -F -Q -q -c 4096 "$ntfs" >/dev/null 2>&1
  mnt=$(mktemp -d)
  trap 'umount "$mnt" 2>/dev/null || true; rmdir "$mnt"' EXIT
  ntfs-3g "$ntfs" "$mnt"
  cp -r "$work/tree/." "$mnt/"
  sync
  while read -r folder; do rm -rf "${mnt:?}/$folder"; done < <(deleted_folders)
  sync
  umount "$mnt"
  trap - EXIT
  rmdir "$mnt"
  cp --sparse=never "$ntfs" "$ntfs.full" && mv "$ntfs.full" "$ntfs"
  cp --sparse=never "$ntfs" "$ntfs_formatted"
  mkntfs -F -Q -q -c 4096 "$ntfs_formatted" >/dev/null 2>&1
  rm -rf "$work/tree"
fi

# measure NAME COMMAND...: runs it $runs times with stdout into a file and
# prints "median_wall median_cpu peak_kib" (the median run by wall time).
measure() {
  local name=$1
  shift
  local out=$work/$name.out
  local i
  : >"$work/$name.times"
  for ((i = 0; i < runs; ++i)); do
    /usr/bin/time -o "$work/$name.time" -f '%e %U %S %M' "$@" >"$out" 2>/dev/null || true
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/$name.time" >>"$work/$name.times"
  done
  sort -n "$work/$name.times" | awk -v n="$runs" 'NR == int((n + 1) / 2) { print }'
}
lines() { wc -l <"$work/$1.out" | tr -d ' '; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
field() { echo "$1" | cut -d' ' -f"$2"; }
memory_budget_kib() { echo $((64 * 1024 + $1 * 200 / 1024)); }

cat "$fat" "$fat_formatted" "$ntfs" "$ntfs_formatted" >/dev/null  # into the page cache

fat_cli=$(measure fat_cli "$cli" scan "$fat" --json)
fat_engine=$(measure fat_engine "$tool" fat-quick "$fat" "$build/bin")
fat_fls=$(measure fat_fls fls -r -d "$fat")
ntfs_cli=$(measure ntfs_cli "$cli" scan "$ntfs" --json)
ntfs_engine=$(measure ntfs_engine "$tool" ntfs-quick "$ntfs" "$build/bin")
ntfs_fls=$(measure ntfs_fls fls -r -d "$ntfs")
fat_sweep_cli=$(measure fat_sweep_cli "$cli" scan "$fat_formatted" --unformat --json)
fat_sweep_engine=$(measure fat_sweep_engine "$tool" fat-sweep "$fat_formatted" "$build/bin")
fat_dd=$(measure fat_dd dd if="$fat_formatted" of=/dev/null bs=32M)
ntfs_sweep_cli=$(measure ntfs_sweep_cli "$cli" scan "$ntfs_formatted" --unformat --json)
ntfs_sweep_engine=$(measure ntfs_sweep_engine "$tool" ntfs-sweep "$ntfs_formatted" "$build/bin")
ntfs_dd=$(measure ntfs_dd dd if="$ntfs_formatted" of=/dev/null bs=32M)

row() {  # row WHAT OURS OTHER ITEMS KIND(scan|sweep)
  local ours=$2 other=$3 items=$4 wall cpu
  if [[ $5 == scan ]]; then
    wall=$(ratio "$(field "$ours" 1)" "$(field "$other" 1)")
    cpu=$(ratio "$(field "$ours" 2)" "$(field "$other" 2)")
  else
    wall=$(ratio "$(field "$other" 1)" "$(field "$ours" 1)")
    cpu=$(ratio "$(field "$other" 2)" "$(field "$ours" 2)")
  fi
  printf '| %-34s | %6s | %6s | %6s | %6s | %6s | %8s | %9s | %7s |\n' "$1" "$(field "$ours" 1)" \
    "$(field "$ours" 2)" "$(field "$other" 1)" "$(field "$other" 2)" "$wall" "$cpu" "$(field "$ours" 3)" "$items"
}

echo
echo "Medians of $runs runs; the other tool is fls -r -d for scans (ratio: ours / fls, lower is better) and"
echo "dd bs=32M for sweeps (ratio: dd / ours, higher is better). Peak memory in KiB (budget: 64 MiB + 200 B per item)."
echo
echo "| run                                | wall s | cpu s  | other  | o. cpu | ratio  | cpu ratio | peak KiB  | items   |"
echo "|------------------------------------|--------|--------|--------|--------|--------|-----------|-----------|---------|"
row "FAT32 Quick Scan, salvor-cli --json" "$fat_cli" "$fat_fls" "$(lines fat_cli)" scan
row "FAT32 Quick Scan, engine only" "$fat_engine" "$fat_fls" "$(field "$(cat "$work/fat_engine.out")" 1)" scan
row "NTFS Quick Scan, salvor-cli --json" "$ntfs_cli" "$ntfs_fls" "$(lines ntfs_cli)" scan
row "NTFS Quick Scan, engine only" "$ntfs_engine" "$ntfs_fls" "$(field "$(cat "$work/ntfs_engine.out")" 1)" scan
row "FAT32 sweep, salvor-cli --json" "$fat_sweep_cli" "$fat_dd" "$(lines fat_sweep_cli)" sweep
row "FAT32 sweep, engine only" "$fat_sweep_engine" "$fat_dd" "$(field "$(cat "$work/fat_sweep_engine.out")" 1)" sweep
row "NTFS sweep, salvor-cli --json" "$ntfs_sweep_cli" "$ntfs_dd" "$(lines ntfs_sweep_cli)" sweep
row "NTFS sweep, engine only" "$ntfs_sweep_engine" "$ntfs_dd" "$(field "$(cat "$work/ntfs_sweep_engine.out")" 1)" sweep
echo
echo "fls -r -d lines: FAT32 $(lines fat_fls), NTFS $(lines ntfs_fls)"
for name in fat_cli ntfs_cli fat_sweep_cli ntfs_sweep_cli; do
  peak=$(field "$(eval echo "\$$name")" 3)
  budget=$(memory_budget_kib "$(lines "$name")")
  echo "$name: peak $peak KiB, budget $budget KiB: $([[ $peak -le $budget ]] && echo within || echo OVER)"
done
