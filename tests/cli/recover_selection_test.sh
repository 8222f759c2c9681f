#!/usr/bin/env bash
# salvor-cli recover's selection and reporting on a real FAT32 volume made
# by mkfs.fat and mtools: the filter options choose what the File Filter
# would show, --json reports every file and a summary, scan --tree prints
# the folder tree with counts, and Ctrl-C stops a run cleanly with exit
# code 130.
#
#   recover_selection_test.sh SALVOR_CLI FIXTURE_SCRIPT [mkfs.fat options...]
salvor_cli=$1
fixture_script=$2
shift 2
source "$(dirname "$0")/test_lib.sh"
need_tools jq mkfs.fat mcopy xxd sha256sum

image=$work/volume.img
manifest=$work/manifest.tsv
bash "$fixture_script" "$image" "$manifest" "$@" >"$work/fixture.log" 2>&1 ||
  { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }

# written DIR: the files under DIR, relative, sorted, one line.
written() { (cd "$1" && find . -type f | LC_ALL=C sort | sed 's|^\./||' | tr '\n' '|'); }

# --- Filters ------------------------------------------------------------------
run_cli "$work/name.out" "$work/name.err" recover "$image" --to "$work/name" --name Budget
check "--name exits 0 (got $rc: $(cat "$work/name.err"))" test "$rc" -eq 0
check "--name takes the deleted files whose path holds the text" \
  test "$(written "$work/name")" = "Documents/Reports/2023/Q1/Draft Budget.xlsx|"

# Category 3 is "*.txt": the last four characters, compared with case. The
# 8.3-only "empty.txt" mtools wrote carries the lower-case flags, so it is
# listed (first letter lost) as "_mpty.txt" and is a text file to the filter.
run_cli "$work/type.out" "$work/type.err" recover "$image" --to "$work/type" --type 3
check "--type exits 0 (got $rc: $(cat "$work/type.err"))" test "$rc" -eq 0
check "--type 3 takes the deleted .txt files" test "$(written "$work/type")" = \
  "Deleted notes.txt|Documents/Many Files/Entry number 07 with a long name.txt|Documents/Many Files/Entry number 22 with a long name.txt|Documents/Été 2023/Ancien café.txt|Old Projects/Alpha/Specification.txt|Old Projects/_mpty.txt|"

run_cli "$work/all.out" "$work/all.err" recover "$image" --to "$work/deleted"
run_cli "$work/skip.out" "$work/skip.err" recover "$image" --to "$work/skip" --skip-empty
check "--skip-empty exits 0 (got $rc)" test "$rc" -eq 0
check "--skip-empty leaves out exactly the empty file" test \
  "$(diff <(written "$work/deleted" | tr '|' '\n') <(written "$work/skip" | tr '|' '\n') | grep '^<')" = \
  "< Old Projects/_mpty.txt"

for bad in "--type 13" "--type x" "--type 12" "--type 3 --name a" "--name"; do
  # shellcheck disable=SC2086
  run_cli "$work/bad.out" "$work/bad.err" recover "$image" --to "$work/bad" $bad
  check "recover $bad is a usage error (got $rc)" test "$rc" -eq 1
done
check "usage errors write nothing" test ! -e "$work/bad"

# --- JSON report ----------------------------------------------------------------
run_cli "$work/json.out" "$work/json.err" recover "$image" --to "$work/json" --json
check "--json exits 0 (got $rc)" test "$rc" -eq 0
check "every --json line parses" bash -c "jq -e . '$work/json.out' >/dev/null"
files=$(jq -s '[.[] | select(.status == "recovered")] | length' "$work/json.out")
check "one line per file written ($files)" test "$files" -eq "$(find "$work/json" -type f | wc -l)"
summary=$(tail -n1 "$work/json.out")
check "the summary counts the files and bytes written" \
  test "$(jq -r '[.summary, .files_written, .failed, .bytes] | join(" ")' <<<"$summary")" = \
  "true $files 0 $(find "$work/json" -type f -printf '%s\n' | awk '{s += $1} END {print s}')"
check "the summary carries the closing text" \
  test "$(jq -r .message <<<"$summary")" = "All the files selected have  been recovered. "

# --- The folder tree --------------------------------------------------------------
run_cli "$work/tree.out" "$work/tree.err" scan "$image" --tree
check "scan --tree exits 0 (got $rc)" test "$rc" -eq 0
check "scan --tree shows a deleted folder with its counts" grep -q '^ *Alpha/  1 file, 2 in all$' "$work/tree.out"

# --- Ctrl-C -----------------------------------------------------------------------
# A large empty volume: the Unformatting Scan sweeps it for seconds.
big=$work/big.img
truncate -s 4G "$big" && mkfs.fat -F 32 "$big" >/dev/null 2>&1 || { echo "FAIL: mkfs.fat"; exit 1; }
"$salvor_cli" recover "$big" --unformat --to "$work/interrupted" >"$work/int.out" 2>"$work/int.err" &
pid=$!
sleep 0.5
kill -INT "$pid"
wait "$pid"
rc=$?
check "Ctrl-C during a scan exits 130 (got $rc: $(cat "$work/int.err"))" test "$rc" -eq 130
check "Ctrl-C says so" grep -q 'interrupted' "$work/int.err"
check "Ctrl-C before the recovery writes nothing" test -z "$(find "$work/interrupted" -type f 2>/dev/null)"

finish
