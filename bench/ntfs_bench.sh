#!/usr/bin/env bash
# NTFS throughput, measured in one run on one cached image:
#  1. the Quick Scan of a 2 GiB NTFS image holding 100 000 files, half of
#     them deleted, against The Sleuth Kit's `fls -r -d` listing the same
#     deleted entries;
#  2. the unformat sweep of a quick-formatted copy, against `dd bs=32M`
#     reading the whole image.
# Each command runs three times and the fastest run counts; ratios are the
# other tool's time over ours (above 1.0: faster than it).
#
#   bench/ntfs_bench.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR is an optimised build (-DCMAKE_BUILD_TYPE=Release) whose
# gleaner_core, salvor_platform and salvor_common libraries the timing tool
# links. WORK_DIR (default ${TMPDIR:-/tmp}/salvor-ntfs-bench) keeps the
# images between runs. Needs root, FUSE, ntfs-3g and sleuthkit, and about
# 4.5 GiB. Not part of the test run.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 BUILD_DIR [WORK_DIR]" >&2
  exit 1
fi
build=$(realpath "$1")
work=${2:-${TMPDIR:-/tmp}/salvor-ntfs-bench}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
mkdir -p "$work"
export LC_ALL=C.UTF-8

tool=$work/ntfs_bench_tool
lib() { find "$build" -name "$1" -print -quit; }
c++ -std=c++20 -O2 -I"$root" "$here/ntfs_bench_tool.cpp" "$(lib libgleaner_core.a)" "$(lib libsalvor_platform.a)" \
  "$(lib libsalvor_common.a)" -lewf -lvhdi -lvmdk -o "$tool"

image=$work/ntfs-2g.img
formatted=$work/ntfs-2g-formatted.img
if [[ ! -f $image || ! -f $formatted ]]; then
  echo "building the images in $work ..."
  rm -f "$image" "$formatted"
  truncate -s 2G "$image"
  mkntfs -F -Q -q -c 4096 "$image" >/dev/null 2>&1
  mnt=$(mktemp -d)
  trap 'umount "$mnt" 2>/dev/null || true; rmdir "$mnt"' EXIT
  ntfs-3g "$image" "$mnt"
  # 100 folders of 1000 files of 1 to 8 KiB (random content), then every
  # other file deleted, and a few large files.
  python3 - "$mnt" <<'PY'
import os, sys
mnt = sys.argv[1]
pool = os.urandom(16 << 10)
for d in range(100):
    folder = os.path.join(mnt, "folder %02d" % d)
    os.mkdir(folder)
    for f in range(1000):
        size = 1024 * (1 + f % 8)
        start = (d * 7 + f) % 8192
        with open(os.path.join(folder, "file %03d.bin" % f), "wb") as out:
            out.write(pool[start:start + size])
PY
  for i in 1 2 3 4; do head -c 200M /dev/urandom >"$mnt/large $i.bin"; done
  sync
  for d in $(seq -w 0 99); do rm -f "$mnt/folder $d/file "*[02468].bin; done
  sync
  umount "$mnt"
  trap - EXIT
  rmdir "$mnt"
  rm -f "$work/pool"
  cp --sparse=always "$image" "$formatted"
  mkntfs -F -Q -q -c 4096 "$formatted" >/dev/null 2>&1
fi

best() {  # best COMMAND...: the fastest of three runs, in seconds
  local best_time="" t
  for _ in 1 2 3; do
    t=$( { /usr/bin/time -f %e "$@" >/dev/null; } 2>&1 | tail -1)
    if [[ -z $best_time ]] || awk -v a="$t" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then best_time=$t; fi
  done
  echo "$best_time"
}
# Warm the cache, so that both sides read from memory.
cat "$image" "$formatted" >/dev/null

echo "Quick Scan: $("$tool" quick "$image" | cut -d' ' -f1) deleted records reported"
echo "fls -r -d:  $(fls -r -d "$image" | wc -l) lines"
quick=$(best "$tool" quick "$image")
fls_time=$(best fls -r -d "$image")
echo "Quick Scan ${quick}s, fls -r -d ${fls_time}s, ratio $(awk -v a="$fls_time" -v b="$quick" 'BEGIN { printf "%.2f", a / b }')"

echo "sweep: $("$tool" sweep "$formatted" | cut -d' ' -f1) old records reported"
sweep=$(best "$tool" sweep "$formatted")
dd_time=$(best dd if="$formatted" of=/dev/null bs=32M)
echo "sweep ${sweep}s, dd ${dd_time}s, ratio $(awk -v a="$dd_time" -v b="$sweep" 'BEGIN { printf "%.2f", a / b }')"
