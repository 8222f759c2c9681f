#!/usr/bin/env bash
# What a user sees from salvor-cli's command line: help, usage errors with
# exit code 1, unsupported file systems with exit code 2, and JSON Lines that
# a JSON tool reads, each with every documented field.
#
#   cli_usage_test.sh SALVOR_CLI FIXTURE_SCRIPT
salvor_cli=$1
fixture_script=$2
source "$(dirname "$0")/test_lib.sh"
need_tools jq mkfs.fat mcopy xxd

out=$work/out
err=$work/err

run_cli "$out" "$err" --help
check "--help exits 0" test "$rc" -eq 0
check "--help prints the usage on stdout" grep -q '^Usage: salvor-cli' "$out"
check "--help prints nothing on stderr" test ! -s "$err"

# usage_error WHAT ARGS...: exit code 1 and a message on stderr, nothing on
# stdout.
usage_error() {
  local what=$1
  shift
  run_cli "$out" "$err" "$@"
  if [[ $rc -ne 1 ]]; then
    fail "$what: exit code $rc, expected 1"
  elif [[ ! -s $err || -s $out ]]; then
    fail "$what: the message must be on stderr only"
  else
    pass
  fi
}
usage_error "no arguments"
usage_error "an unknown command" frobnicate
usage_error "scan without a source" scan
usage_error "an unknown option" scan image.img --bogus
usage_error "--fs without a name" scan image.img --fs
usage_error "an unknown file system" scan image.img --fs zfs
usage_error "two sources" scan a.img b.img

image=$work/volume.img
bash "$fixture_script" "$image" "$work/manifest.tsv" -s 1 || { echo "FAIL: the fixture could not be built"; exit 1; }

run_cli "$out" "$err" scan "$image" --fs ntfs
check "--fs ntfs on a FAT32 image exits 2" test "$rc" -eq 2
check "--fs ntfs says there is no NTFS file system" grep -q 'no NTFS file system found' "$err"

# The default listing: a header and deleted entries only.
run_cli "$out" "$err" scan "$image"
check "the table listing exits 0" test "$rc" -eq 0
check "the table starts with its header" grep -q '^STATE *DATA *SIZE *MODIFIED *PATH' <(head -n1 "$out")
check "the default table lists deleted entries only" test -z "$(tail -n +2 "$out" | grep -v '^deleted ')"
check "the table marks folders with a slash" grep -q '^deleted .*Old Projects/$' "$out"

run_cli "$out" "$err" scan "$image" --all --json
check "--all --json exits 0" test "$rc" -eq 0
check "--all --json lists every item of the fixture" test "$(wc -l <"$out")" -ge "$(($(wc -l <"$work/manifest.tsv") - 1))"
# Every line is one object with every field, of the right JSON type.
bad=$(jq -c 'select((
    (.path | type) == "string" and (.path | test("^[^/\\\\]") and (contains("\\\\") | not)) and
    (.name | type) == "string" and (.name as $name | .path | endswith($name)) and
    (.type == "file" or .type == "folder") and
    (.deleted | type) == "boolean" and
    (.size | type) == "number" and
    (.modified | test("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$")) and
    (.first_cluster | type) == "number" and (.parent_folder | type) == "number" and
    (.folder | type) == "number" and (.attributes | type) == "number") | not)' "$out" 2>&1)
check "every JSON line parses and carries every field (bad: ${bad:0:300})" test -z "$bad"
check "JSON lists non-ASCII names in UTF-8" \
  test "$(jq -r 'select(.name == "Отчёт за год.txt") | .path' "$out")" = "Documents/Документы/Отчёт за год.txt"
check "JSON keeps the fixture's time stamps" \
  test "$(jq -r 'select(.path == "Notes for the team.txt") | .modified' "$out")" = "2023-05-14 10:55:30"
check "JSON marks deleted entries" \
  test "$(jq -r 'select(.path == "Deleted notes.txt") | .deleted' "$out")" = "true"

run_cli "$out" "$err" scan "$image" --json
check "--json lists deleted entries only" test -z "$(jq -r 'select(.deleted | not) | .path' "$out")"

finish
