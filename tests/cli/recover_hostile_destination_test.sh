#!/usr/bin/env bash
# salvor-cli recover into a destination that already holds files and links:
# nothing there is followed, replaced or removed; recovered files are
# private (0600, folders 0700) unless --mode says otherwise and carry their
# modification times; a full destination (a small tmpfs) stops the run at
# once with exit 3 and a message naming the cause. The volume is a FAT32
# image made by mkfs.fat and mtools, its files deleted with mdel.
#
#   recover_hostile_destination_test.sh SALVOR_CLI
salvor_cli=$1
source "$(dirname "$0")/test_lib.sh"
need_tools mkfs.fat mcopy mdel mmd jq stat
export MTOOLS_SKIP_CHECK=1 TZ=UTC

image=$work/volume.img
truncate -s 48M "$image"
mkfs.fat -F 32 -s 1 "$image" >/dev/null
src=$work/src
mkdir -p "$src/Docs"
printf 'alpha\n' >"$src/Report one.txt"
printf 'bravo\n' >"$src/Bravo two.txt"
printf 'charlie\n' >"$src/Docs/Charlie three.txt"
seeded_bytes 7 600000 >"$src/Big data.bin"
touch -d '2020-05-01 10:00:00' "$src/Report one.txt" "$src/Bravo two.txt" "$src/Docs/Charlie three.txt" "$src/Big data.bin"
mmd -i "$image" ::/Docs
mcopy -m -i "$image" "$src/Report one.txt" "$src/Bravo two.txt" "$src/Big data.bin" ::/
mcopy -m -i "$image" "$src/Docs/Charlie three.txt" ::/Docs/
mdel -i "$image" "::/Report one.txt" "::/Bravo two.txt" "::/Big data.bin" "::/Docs/Charlie three.txt"

# --- Links and existing files --------------------------------------------------
dest=$work/dest
outside=$work/outside
mkdir -p "$dest" "$outside"
printf 'precious\n' >"$outside/victim"
ln -s "$outside" "$dest/Docs"
ln -s "$outside/victim" "$dest/Bravo two.txt"
printf "the user's\n" >"$dest/Report one.txt"
run_cli "$work/links.out" "$work/links.err" recover "$image" --to "$dest" --json
check "recovery into a folder with links exits 0 (got $rc: $(cat "$work/links.err"))" test "$rc" -eq 0
check "the linked file's target is untouched" test "$(cat "$outside/victim")" = precious
check "nothing lands in the linked folder" test ! -e "$outside/Charlie three.txt"
check "the user's file of the same name is kept" test "$(cat "$dest/Report one.txt")" = "the user's"
check "the recovered one takes the next number" test "$(cat "$dest/Report one (1).txt" 2>/dev/null)" = alpha
check "the file behind a link's name gets a number" test "$(cat "$dest/Bravo two (1).txt" 2>/dev/null)" = bravo
check "the folder behind a link's name gets a number" test "$(cat "$dest/Docs (1)/Charlie three.txt" 2>/dev/null)" = charlie
check "the links are still links" test -L "$dest/Docs" -a -L "$dest/Bravo two.txt"
check "--json gives the name written" \
  test "$(jq -r 'select(.path == "Report one (1).txt") | .status' "$work/links.out")" = recovered
check "files are private (0600)" test "$(stat -c %a "$dest/Report one (1).txt")" = 600
check "folders are private (0700)" test "$(stat -c %a "$dest/Docs (1)")" = 700
check "the modification time comes from the volume" \
  test "$(stat -c %Y "$dest/Report one (1).txt")" = "$(date -d '2020-05-01 10:00:00' +%s)"
check "--json says which times were applied" \
  test "$(jq -r 'select(.path == "Report one (1).txt") | .times.modified + " " + .times.basis' "$work/links.out")" = \
  "2020-05-01T10:00:00Z local"
check "the big file is whole" cmp -s "$dest/Big data.bin" "$src/Big data.bin"

run_cli "$work/mode.out" "$work/mode.err" recover "$image" --to "$work/shared" --mode 0644
check "--mode is taken (got $rc)" test "$rc" -eq 0
check "--mode 0644 gives 0644 files" test "$(stat -c %a "$work/shared/Report one.txt")" = 644
check "and folders that can be entered" test "$(stat -c %a "$work/shared/Docs")" = 755
run_cli "$work/badmode.out" "$work/badmode.err" recover "$image" --to "$work/never" --mode 0999
check "a mode that is no mode is a usage error (got $rc)" test "$rc" -eq 1

# --- A full destination (root: tmpfs) -----------------------------------------
if ((EUID == 0)); then
  small=$work/small
  mkdir -p "$small"
  mount -t tmpfs -o size=256k tmpfs "$small" || skip "cannot mount a tmpfs"
  few=$work/few
  mkdir -p "$few"
  mount -t tmpfs -o size=8m,nr_inodes=3 tmpfs "$few" || { umount "$small"; skip "cannot mount a tmpfs"; }
  trap 'umount "$small" "$few" 2>/dev/null; rm -rf "$work"' EXIT
  run_cli "$work/full.out" "$work/full.err" recover "$image" --to "$small" "Big data.bin" "Report one.txt"
  check "a file larger than the free space stops the run with exit 3 (got $rc)" test "$rc" -eq 3
  check "the message says the next file does not fit" grep -q 'bytes free' "$work/full.err"
  check "no partial file is left" test ! -e "$small/Big data.bin"
  check "no file is written after the run stopped" test ! -e "$small/Report one.txt"

  run_cli "$work/inodes.out" "$work/inodes.err" recover "$image" --to "$few" --json
  check "a destination that runs out of room mid-run exits 3 (got $rc)" test "$rc" -eq 3
  check "the message names the cause" grep -q 'No space left on device' "$work/inodes.err"
  check "what was written before stays" test "$(find "$few" -type f | wc -l)" -ge 1
  check "the summary says what stopped the run" \
    test "$(jq -r 'select(.summary) | .stopped_by' "$work/inodes.out" | grep -c 'No space left on device')" = 1
  umount "$small" "$few"
fi

finish
