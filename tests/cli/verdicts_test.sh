#!/usr/bin/env bash
# Verdicts on a real volume where some deleted files were overwritten by a
# later file: every deleted file's "recoverable" is what The Sleuth Kit's
# view of the same image gives (the blocks istat listed while the file was
# present, against the blocks blkls finds allocated afterwards), and
# recover --only-intact writes exactly the intact ones.
#
#   verdicts_test.sh SALVOR_CLI FIXTURE_SCRIPT FS
salvor_cli=$1
fixture_script=$2
fs=$3
source "$(dirname "$0")/test_lib.sh"
need_tools jq

image=$work/volume.img
expected=$work/expected.tsv
bash "$fixture_script" "$fs" "$image" "$expected" >"$work/fixture.log" 2>&1
fixture_rc=$?
[[ $fixture_rc == 77 ]] && skip "$(tail -n1 "$work/fixture.log")"
((fixture_rc == 0)) || { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }
image_digest=$(cksum <"$image")

run_cli "$work/scan.jsonl" "$work/scan.err" scan "$image" --json
check "scan exits 0 (got $rc: $(cat "$work/scan.err"))" test "$rc" -eq 0
declare -A verdict=()
while IFS=$'\t' read -r path recoverable; do verdict[$path]=$recoverable; done < <(
  jq -r 'select(.type == "file") | [.path, .recoverable] | @tsv' "$work/scan.jsonl")

declare -A counts=()
intact_names=()
while IFS=$'\t' read -r path want; do
  counts[$want]=$((${counts[$want]:-0} + 1))
  [[ $want == intact ]] && intact_names+=("$path")
  got=${verdict[$path]:-not listed}
  [[ $got == "$want" ]] && pass || fail "$path: recoverable is '$got', the blocks say '$want'"
done <"$expected"
echo "FIGURES: intact=${counts[intact]:-0} partly=${counts[partly overwritten]:-0} overwritten=${counts[overwritten]:-0}"
check "the fixture overwrote some deleted files and left others" \
  test "${counts[intact]:-0}" -gt 0 -a "${counts[overwritten]:-0}" -gt 0

run_cli "$work/recover.out" "$work/recover.err" recover "$image" --only-intact --to "$work/out"
check "recover --only-intact exits 0 (got $rc: $(cat "$work/recover.err"))" test "$rc" -eq 0
check "recover --only-intact writes the intact files and nothing else" \
  test "$(cd "$work/out" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' '|')" = \
  "$(printf '%s\n' "${intact_names[@]}" | LC_ALL=C sort | tr '\n' '|')"
check "scans and recoveries leave the image unchanged" test "$(cksum <"$image")" = "$image_digest"
finish
