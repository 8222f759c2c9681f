#!/usr/bin/env bash
# salvor-cli scan on damaged and hostile sources (FIFOs and devices that are
# no volume among them): each run ends within the time limit, without a
# signal, with exit code 2 and a readable error on stderr; damage the scan
# can walk around (folders that name each other, a directory chain that
# loops) ends with 0 or 2 and a bounded listing.
#
#   scan_hostile_images_test.sh SALVOR_CLI
salvor_cli=$1
source "$(dirname "$0")/test_lib.sh"
need_tools mkfs.fat mcopy mmd mshowfat xxd
export MTOOLS_SKIP_CHECK=1 LC_ALL=C

# A small real volume: enough root entries that the root spans several
# clusters (512-byte clusters), and folders to re-point.
base=$work/base.img
mkfs.fat -F 32 -S 512 -s 1 -i 5A1F0BAD -C "$base" 40960 >/dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
for n in $(seq 1 40); do
  echo "file $n" >"$work/f.txt"
  mcopy -i "$base" "$work/f.txt" "::/FILE$n.TXT"
done
mmd -i "$base" ::/LOOPA ::/LOOPA/LOOPB ::/SIDEA ::/SIDEB ::/SIDEA/TOB ::/SIDEB/TOA
mdel -i "$base" ::/FILE3.TXT

u16_at() { od -An -tu2 -j"$2" -N2 "$1" | tr -d ' '; }
bytes_per_sector=$(u16_at "$base" 11)
fat_offset=$(($(u16_at "$base" 14) * bytes_per_sector))
read -r -a root_runs <<<"$(mshowfat -i "$base" ::/ | grep -o '<[0-9-]*>' | tr -d '<>' | tr '\n' ' ')"
# The offset of the directory entry with the 11-byte name NAME (folders).
entry_offset() { grep -obUaP "$1\\x10" "$base" | head -n1 | cut -d: -f1; }
cluster_of() { mshowfat -i "$base" "::/$1" | sed -n 's/.*<\([0-9]*\).*/\1/p'; }

variant() {  # variant NAME: a fresh copy of the base image
  cp "$base" "$work/$1.img"
  echo "$work/$1.img"
}

# expect_error WHAT ARGS...: exit code 2, an error on stderr, no listing.
expect_error() {
  local what=$1
  shift
  run_cli "$work/out" "$work/err" scan "$@"
  if [[ $rc -ne 2 ]]; then
    fail "$what: exit code $rc, expected 2 (stderr: $(head -c 300 "$work/err"))"
  elif ! grep -q '^salvor-cli: error: ' "$work/err"; then
    fail "$what: no error message on stderr"
  else
    pass
  fi
  [[ $(wc -l <"$work/out") -le 1 ]] || fail "$what: listed $(wc -l <"$work/out") lines"
}

# expect_bounded WHAT MAX_LINES ARGS...: exit code 0 or 2, at most MAX_LINES
# lines, and no path listed twice.
expect_bounded() {
  local what=$1 max=$2
  shift 2
  run_cli "$work/out" "$work/err" scan "$@"
  local lines
  lines=$(wc -l <"$work/out")
  if [[ $rc -ne 0 && $rc -ne 2 ]]; then
    fail "$what: exit code $rc (stderr: $(head -c 300 "$work/err"))"
  elif [[ $lines -gt $max ]]; then
    fail "$what: $lines lines, expected at most $max"
  elif [[ -n $(sort "$work/out" | uniq -d) ]]; then
    fail "$what: lines listed twice: $(sort "$work/out" | uniq -d | head -n3)"
  else
    pass
  fi
}

# --- Sources that cannot be scanned -----------------------------------------
expect_error "a nonexistent path" "$work/no-such-image.img"
expect_error "a directory" "$work"
: >"$work/empty.img"
expect_error "an empty file" "$work/empty.img"
expect_error "an empty file, --fs fat32" "$work/empty.img" --fs fat32
head -c 512 "$base" >"$work/one-sector.img"
expect_error "a 1-sector image" "$work/one-sector.img"
expect_error "a 1-sector image, --fs fat32" "$work/one-sector.img" --fs fat32
head -c 300 "$base" >"$work/short.img"
expect_error "an image shorter than a sector" "$work/short.img"

# Nodes that are no volume are refused before any read; a FIFO with no
# writer would block an open for ever, so it must not be opened blocking.
mkfifo "$work/fifo"
expect_error "a FIFO" "$work/fifo"
check "  ... says it is a FIFO" grep -q 'not a disk image or block device (a FIFO)' "$work/err"
expect_error "a character device" /dev/zero
check "  ... says it is a character device" grep -q '(a character device)' "$work/err"
check "  ... a directory says it is one" bash -c "'$salvor_cli' scan '$work' 2>&1 | grep -q '(a folder)'"

seeded_bytes 20240501 65536 >"$work/random.img"
expect_error "random bytes" "$work/random.img"
# Told it is FAT32, the scan reads whatever the random fields point at; it
# must still end sanely.
expect_bounded "random bytes, --fs fat32" 100000 "$work/random.img" --fs fat32 --all

image=$(variant garbage-boot)
seeded_bytes 7 512 | dd of="$image" conv=notrunc status=none
expect_error "a garbage boot sector" "$image"
expect_bounded "a garbage boot sector, --fs fat32" 100000 "$image" --fs fat32 --all

image=$(variant zero-bytes-per-sector)
patch "$image" 11 0000
expect_error "0 bytes per sector" "$image"
expect_error "0 bytes per sector, --fs fat32" "$image" --fs fat32
image=$(variant zero-sectors-per-cluster)
patch "$image" 13 00
expect_error "0 sectors per cluster" "$image"
expect_error "0 sectors per cluster, --fs fat32" "$image" --fs fat32
image=$(variant root-outside)
patch "$image" 44 "$(le32 4000000000)"
expect_error "a root cluster past the end of the FAT" "$image"

# Cut short after the root's first cluster (cluster 2, the first sector of
# the data region at 512-byte clusters): what was read is listed, and the scan
# says the volume could not be read completely.
image=$(variant truncated)
fat_count=$(od -An -tu1 -j16 -N1 "$base" | tr -d ' ')
sectors_per_fat=$(od -An -tu4 -j36 -N4 "$base" | tr -d ' ')
truncate -s $((fat_offset + (fat_count * sectors_per_fat + 1) * bytes_per_sector)) "$image"
run_cli "$work/out" "$work/err" scan "$image" --all
check "an image cut short inside the root exits 2 (got $rc)" test "$rc" -eq 2
check "  ... and says the volume could not be read completely" grep -q 'could not be read completely' "$work/err"

# --- Damage the scan walks around -------------------------------------------
check "the base image's root spans several cluster runs (${root_runs[*]})" test "${#root_runs[@]}" -ge 2
first_root=${root_runs[0]%%-*}
last_root=${root_runs[-1]##*-}
# 39 files and 4 folders at the root, 2 below LOOPA, SIDEA and SIDEB each,
# the deleted file once: anything past 60 lines is a listing that repeats.
image=$(variant root-loops-to-itself)
patch "$image" $((fat_offset + first_root * 4)) "$(le32 "$first_root")"
expect_bounded "a root cluster whose FAT entry names itself" 60 "$image" --all
image=$(variant root-loops-back)
patch "$image" $((fat_offset + last_root * 4)) "$(le32 "$first_root")"
expect_bounded "a root chain whose last cluster leads back to its first" 60 "$image" --all
check "  ... lists the whole root once" test "$(grep -c 'FILE[0-9]*\.TXT' "$work/out")" -eq 39

# LOOPA/LOOPB names LOOPA's own cluster: entering it would enter LOOPA again.
image=$(variant child-names-parent)
offset=$(entry_offset 'LOOPB      ')
parent=$(cluster_of LOOPA)
patch "$image" $((offset + 20)) 0000
patch "$image" $((offset + 26)) "$(printf '%02x%02x' $((parent & 255)) $((parent >> 8)))"
expect_bounded "a folder whose entry names its parent's cluster" 60 "$image" --all
# LOOPB names the root cluster.
image=$(variant child-names-root)
patch "$image" $((offset + 20)) 0000
patch "$image" $((offset + 26)) "$(printf '%02x%02x' $((first_root & 255)) $((first_root >> 8)))"
expect_bounded "a folder whose entry names the root cluster" 60 "$image" --all
# SIDEA/TOB names SIDEB and SIDEB/TOA names SIDEA.
image=$(variant folders-name-each-other)
for pair in "TOB        :SIDEB" "TOA        :SIDEA"; do
  offset=$(entry_offset "${pair%%:*}")
  target=$(cluster_of "${pair##*:}")
  patch "$image" $((offset + 20)) 0000
  patch "$image" $((offset + 26)) "$(printf '%02x%02x' $((target & 255)) $((target >> 8)))"
done
expect_bounded "two folders that name each other" 200 "$image" --all

finish
