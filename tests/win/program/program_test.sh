#!/usr/bin/env bash
# Runs the driven-program tests (program_tests.exe) against real volumes:
# FAT32 images made by mkfs.fat + mtools (one as a user left it, one
# quick-formatted over), a FAT16 one, an exFAT and an NTFS image (when root
# and FUSE are there; the NTFS one also quick-formatted over), a large empty
# FAT32 volume for Pause and Stop, and one holding two large deleted files.
# Each is mapped to a Wine drive letter for the run, with D: (a folder) for
# the recovered files and, when a tmpfs can be mounted, S: (little room) and
# V: (few inodes). The files' times as The Sleuth Kit reads them go beside
# each manifest (<manifest>.times). The screenshots the tests save are
# turned into PNG files in WORK_DIR/screenshots.
#
#   program_test.sh SOURCE_DIR WORK_DIR EMULATOR PROGRAM_TESTS_EXE
#
# EMULATOR is the cross build's emulator command, its words joined by "|".
set -u
source_dir=${1:?SOURCE_DIR}
work=${2:?WORK_DIR}
emulator=${3:?EMULATOR}
tests_exe=${4:?PROGRAM_TESTS_EXE}
IFS='|' read -r -a run <<<"$emulator"

. "$source_dir/scripts/lib/wine.sh"
fixtures=$source_dir/tests/fixtures
rm -rf "$work"
mkdir -p "$work/screenshots"
log=$work/fixtures.log
drives=$work/drives.tsv
: >"$drives"
letters=()

windows() { printf 'Z:%s' "$1"; }

# times IMAGE MANIFEST: the files' times as The Sleuth Kit reads them (a
# body file beside the manifest, <manifest>.times), for the recovery tests.
times() { TZ=UTC fls -r -p -m / "$1" >"${2%.tsv}.times" 2>>"$log" || true; }

# map LETTER ROLE IMAGE MANIFEST
map() {
  wine_link_drive "$1" "$3" || return 1
  letters+=("$1")
  printf '%s\t%s\t%s\n' "$1" "$2" "$(windows "$4")" >>"$drives"
}

cleanup() {
  local l
  for l in "${letters[@]}"; do
    l=$(printf '%s' "$l" | tr 'A-Z' 'a-z')
    rm -f "$WINEPREFIX/dosdevices/$l::" "$WINEPREFIX/dosdevices/$l:"
  done
  rm -f "$WINEPREFIX/dosdevices/physicaldrive1"
  [ ${#letters[@]} -gt 0 ] && wine_restart_server
  for l in small tight; do mountpoint -q "$work/$l" 2>/dev/null && umount "$work/$l"; done
}
trap cleanup EXIT

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
  echo "SKIPPED: no Wine prefix (run through scripts/lib/wine.sh run_windows_tests)"
  exit 0
fi
export WINE=${WINE:-$(command -v wine || echo /usr/lib/wine/wine64)}
export WINESERVER=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver64)}

start=$(date +%s)
bash "$fixtures/make_fat32_image.sh" "$work/p.img" "$work/p.tsv" >>"$log" 2>&1 ||
  { cat "$log"; echo "FAIL: the FAT32 fixture"; exit 1; }
map P quick-fat32 "$work/p.img" "$work/p.tsv"
times "$work/p.img" "$work/p.tsv"
# The same volume after a quick format with the fixture's own options.
cp --sparse=always "$work/p.img" "$work/q.img"
mkfs.fat -F 32 -S 512 -i 5A1F0032 "$work/q.img" >>"$log" 2>&1 || { cat "$log"; echo "FAIL: mkfs.fat"; exit 1; }
map Q unformat-fat32 "$work/q.img" "$work/p.tsv"
bash "$fixtures/make_fat32_image.sh" "$work/f.img" "$work/f.tsv" -F 16 -s 4 >>"$log" 2>&1 ||
  { cat "$log"; echo "FAIL: the FAT16 fixture"; exit 1; }
map F quick-fat16 "$work/f.img" "$work/f.tsv"
times "$work/f.img" "$work/f.tsv"
if bash "$fixtures/make_exfat_image.sh" "$work/r.img" "$work/r.tsv" - >>"$log" 2>&1; then
  map R quick-exfat "$work/r.img" "$work/r.tsv"
  times "$work/r.img" "$work/r.tsv"
else
  echo "note: no exFAT image (needs root, a loop device and FUSE)"
fi
if bash "$fixtures/make_ntfs_image.sh" "$work/t.img" "$work/t.tsv" "$work/w.img" 4096 >>"$log" 2>&1; then
  map T quick-ntfs "$work/t.img" "$work/t.tsv"
  map W unformat-ntfs "$work/w.img" "$work/t.tsv"
  times "$work/t.img" "$work/t.tsv"
else
  echo "note: no NTFS image (needs root and FUSE)"
fi
# A disk partitioned by sfdisk (MBR) holding the FAT32 and the NTFS volume,
# opened as an image and, linked as \\.\PhysicalDrive1, read as a
# physical drive.
if [ -f "$work/t.img" ] && command -v sfdisk >/dev/null; then
  mib=1048576
  fat_mib=$((($(stat -c %s "$work/p.img") + mib - 1) / mib))
  ntfs_mib=$((($(stat -c %s "$work/t.img") + mib - 1) / mib))
  ntfs_at=$((1 + fat_mib))
  truncate -s $(((ntfs_at + ntfs_mib + 1) * mib)) "$work/d.img"
  printf 'label: dos\n2048,%d,c\n%d,%d,7\n' $(($(stat -c %s "$work/p.img") / 512)) $((ntfs_at * 2048)) \
    $(($(stat -c %s "$work/t.img") / 512)) | sfdisk -q "$work/d.img" >>"$log" 2>&1 &&
    dd if="$work/p.img" of="$work/d.img" bs=1M seek=1 conv=notrunc,sparse status=none &&
    dd if="$work/t.img" of="$work/d.img" bs=1M seek="$ntfs_at" conv=notrunc,sparse status=none ||
    { cat "$log"; echo "FAIL: the partitioned disk"; exit 1; }
  printf -- '-\tdisk-image\t%s\n-\tdisk-fat32\t%s\n-\tdisk-ntfs\t%s\n' "$(windows "$work/d.img")" \
    "$(windows "$work/p.tsv")" "$(windows "$work/t.tsv")" >>"$drives"
  ln -sfn "$work/d.img" "$WINEPREFIX/dosdevices/physicaldrive1" &&
    printf -- '-\tphysical-drive\t\\\\.\\PhysicalDrive1\n' >>"$drives"
else
  echo "note: no partitioned disk (needs the NTFS image and sfdisk)"
fi
# Large and empty, so that the Unformatting Scan runs long enough to pause
# and stop it (sparse: it takes no room).
truncate -s 2G "$work/u.img"
mkfs.fat -F 32 -n LARGE "$work/u.img" >>"$log" 2>&1 || { cat "$log"; echo "FAIL: mkfs.fat (large)"; exit 1; }
: >"$work/u.tsv"
map U large "$work/u.img" "$work/u.tsv"
# Two large deleted files, for Pause and Stop during a recovery.
truncate -s 1G "$work/g.img"
mkfs.fat -F 32 -n BIG "$work/g.img" >>"$log" 2>&1 || { cat "$log"; echo "FAIL: mkfs.fat (big)"; exit 1; }
printf 'type\tpath\tdeleted\tsize\tsha256\n' >"$work/g.tsv"
for name in big-a.bin big-b.bin; do
  head -c 200M /dev/urandom >"$work/$name"
  MTOOLS_SKIP_CHECK=1 mcopy -i "$work/g.img" "$work/$name" "::/$name" || { echo "FAIL: mcopy (big)"; exit 1; }
  printf 'file\t%s\t1\t%s\t%s\n' "$name" "$(stat -c %s "$work/$name")" \
    "$(sha256sum "$work/$name" | cut -d' ' -f1)" >>"$work/g.tsv"
  rm -f "$work/$name"
done
MTOOLS_SKIP_CHECK=1 mdel -i "$work/g.img" ::/big-a.bin ::/big-b.bin || { echo "FAIL: mdel (big)"; exit 1; }
map G big-fat32 "$work/g.img" "$work/g.tsv"
# Where recovered files go: a drive of its own (a folder).
mkdir -p "$work/dest"
ln -sfn "$work/dest" "$WINEPREFIX/dosdevices/d:"
letters+=(D)
printf 'D\tdestination\t\n' >>"$drives"
# Destinations on a tmpfs, when mounting is allowed: one with little room
# (1 MiB), one that runs out of inodes during a run.
# scratch LETTER ROLE NAME OPTIONS
scratch() {
  mkdir -p "$work/$3"
  if mount -t tmpfs -o "$4" "salvor-$3" "$work/$3" 2>>"$log"; then
    ln -sfn "$work/$3" "$WINEPREFIX/dosdevices/$(printf '%s' "$1" | tr 'A-Z' 'a-z'):"
    letters+=("$1")
    printf '%s\t%s\t\n' "$1" "$2" >>"$drives"
  else
    echo "note: no $2 (cannot mount a tmpfs)"
  fi
}
scratch S small-destination small size=1m
scratch V tight-destination tight size=8m,nr_inodes=8
wine_restart_server
echo "volumes made and mapped in $(($(date +%s) - start)) s"

SALVOR_PROGRAM_DRIVES=$(windows "$drives") SALVOR_SCREENSHOTS=$(windows "$work/screenshots") \
  "${run[@]}" "$tests_exe" </dev/null
rc=$?

# To PNG with the skin gallery's reader and writer (Python's standard
# library only).
python3 - "$source_dir/tests/skin/win/gallery" "$work"/screenshots/*.bmp <<'PY' || rc=1
import os, sys
sys.path.insert(0, sys.argv[1])
import check_screenshots as shots
for bmp in sys.argv[2:]:
    if os.path.exists(bmp):
        shots.write_png(bmp[:-4] + ".png", shots.read_bmp(bmp))
        os.remove(bmp)
PY
echo "screenshots: $work/screenshots"
exit $rc
