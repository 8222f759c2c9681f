#!/usr/bin/env bash
# salvor-cli scan and recover on a real exFAT volume made by mkfs.exfat and
# filled through exfat-fuse, checked against what the fixture wrote:
#  - the Quick Scan lists every deleted file and folder, and --all every item;
#  - every deleted file in one piece comes back byte for byte, and so does
#    every present file, fragmented or not;
#  - on the copy quick-formatted with the same options, the Unformatting
#    Scan finds the old files below the root by name and recovers those in
#    one piece byte for byte;
#  - neither image changes.
#
#   recover_exfat_test.sh SALVOR_CLI FIXTURE_SCRIPT [mkfs.exfat options...]
salvor_cli=$1
fixture_script=$2
shift 2
source "$(dirname "$0")/test_lib.sh"
need_tools jq sha256sum mkfs.exfat

image=$work/volume.img
formatted=$work/formatted.img
manifest=$work/manifest.tsv
bash "$fixture_script" "$image" "$manifest" "$formatted" "$@" >"$work/fixture.log" 2>&1
fixture_rc=$?
((fixture_rc == 77)) && skip "$(tail -n1 "$work/fixture.log")"
((fixture_rc == 0)) || { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }
image_digest=$(cksum <"$image")
formatted_digest=$(cksum <"$formatted")

# manifest_rows FILTER: "path<TAB>sha256" of the rows the awk condition
# selects ($1 type, $2 path, $3 deleted, $4 size, $5 sha256, $6 fragmented,
# $7 intact).
manifest_rows() {
  awk -F'\t' "NR > 1 && ($1) { print \$2 \"\\t\" \$5 }" "$manifest"
}
# expect_content WHAT FILE: FILE exists and has the manifest's digest.
expect_content() {
  if [[ ! -f $2 ]]; then
    fail "$1: not recovered"
  elif [[ $(sha256sum <"$2" | cut -d' ' -f1) != "$digest" ]]; then
    fail "$1: content differs"
  else
    pass
  fi
}

# --- Quick Scan ----------------------------------------------------------------
run_cli "$work/all.jsonl" "$work/all.err" scan "$image" --all --json
check "scan --all exits 0 (got $rc: $(cat "$work/all.err"))" test "$rc" -eq 0
declare -A listed=()
while IFS=$'\t' read -r path deleted; do listed[$path]=$deleted; done < <(jq -r '[.path, .deleted] | @tsv' "$work/all.jsonl")
while IFS=$'\t' read -r path digest; do
  [[ ${listed[$path]:-} == true ]] && pass || fail "deleted $path not listed as deleted"
done < <(manifest_rows '$3 == 1')
while IFS=$'\t' read -r path digest; do
  [[ ${listed[$path]:-} == false ]] && pass || fail "present $path not listed"
done < <(manifest_rows '$3 == 0')

# --- Recovery ------------------------------------------------------------------
run_cli "$work/recover.out" "$work/recover.err" recover "$image" --to "$work/deleted"
check "recover exits 0 (got $rc: $(cat "$work/recover.err"))" test "$rc" -eq 0
while IFS=$'\t' read -r path digest; do
  expect_content "deleted $path" "$work/deleted/$path"
done < <(manifest_rows '$1 == "file" && $3 == 1 && $6 == 0 && $7 == 1')

run_cli "$work/recover_all.out" "$work/recover_all.err" recover "$image" --all --to "$work/all"
check "recover --all exits 0 (got $rc: $(cat "$work/recover_all.err"))" test "$rc" -eq 0
while IFS=$'\t' read -r path digest; do
  expect_content "present $path" "$work/all/$path"
done < <(manifest_rows '$1 == "file" && $3 == 0')

check "scans and recoveries leave the image unchanged" test "$(cksum <"$image")" = "$image_digest"

# --- The quick-formatted copy ------------------------------------------------
run_cli "$work/unformat.jsonl" "$work/unformat.err" scan "$formatted" --unformat --json
check "scan --unformat exits 0 (got $rc: $(cat "$work/unformat.err"))" test "$rc" -eq 0
declare -A names=()
while IFS= read -r name; do names[$name]=1; done < <(jq -r '.path' "$work/unformat.jsonl")
# The new root directory took the old one's cluster; everything below it
# lay in clusters that are free again.
while IFS=$'\t' read -r path digest; do
  [[ $path == */* ]] || continue
  [[ -n ${names[${path##*/}]:-} ]] && pass || fail "unformat: $path not found by name"
done < <(manifest_rows '1')

run_cli "$work/unformat_recover.out" "$work/unformat_recover.err" recover "$formatted" --unformat --to "$work/unformat"
check "recover --unformat exits 0 (got $rc: $(cat "$work/unformat_recover.err"))" test "$rc" -eq 0
# Folders above the recovered files are rebuilt from folder numbers; a
# folder whose entry was in the old root shows as a numbered one, so files
# are looked up by name.
declare -A by_name=()
while IFS= read -r -d '' file; do by_name[${file##*/}]=$file; done < <(find "$work/unformat" -type f -print0)
while IFS=$'\t' read -r path digest; do
  [[ $path == */* ]] || continue
  expect_content "unformat $path" "${by_name[${path##*/}]:-/nonexistent}"
done < <(manifest_rows '$1 == "file" && $6 == 0 && $7 == 1')

check "the unformat scan and recovery leave the copy unchanged" test "$(cksum <"$formatted")" = "$formatted_digest"

finish
