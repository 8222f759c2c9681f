#!/usr/bin/env bash
# salvor-cli scan and recover on a real NTFS volume made by mkntfs and filled
# through an ntfs-3g mount, checked against what the fixture wrote:
#  - the Quick Scan lists every deleted file and folder under its path, with
#    its record number, its parent's and no record position; --all lists the
#    live items too;
#  - every deleted file comes back byte for byte;
#  - on the copy quick-formatted with the same options, the Unformatting
#    Scan finds the old files below "dirN" folders (N the parent's record
#    number) with their record positions, and recovers them byte for byte;
#  - neither image changes.
#
#   recover_ntfs_test.sh SALVOR_CLI FIXTURE_SCRIPT CLUSTER_BYTES
salvor_cli=$1
fixture_script=$2
cluster_bytes=$3
source "$(dirname "$0")/test_lib.sh"
need_tools jq sha256sum mkntfs ntfs-3g

image=$work/volume.img
formatted=$work/formatted.img
manifest=$work/manifest.tsv
TMPDIR=$work bash "$fixture_script" "$image" "$manifest" "$formatted" "$cluster_bytes" >"$work/fixture.log" 2>&1
fixture_rc=$?
((fixture_rc == 77)) && skip "$(tail -n1 "$work/fixture.log")"
((fixture_rc == 0)) || { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }
image_digest=$(cksum <"$image")
formatted_digest=$(cksum <"$formatted")

# manifest_rows FILTER: "path<TAB>sha256" of the rows the awk condition
# selects ($1 type, $2 path, $3 deleted, $4 size, $5 sha256).
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
run_cli "$work/deleted.jsonl" "$work/deleted.err" scan "$image" --json
check "scan exits 0 (got $rc: $(cat "$work/deleted.err"))" test "$rc" -eq 0
declare -A listed=()
while IFS=$'\t' read -r path type deleted mft parent offset cluster; do
  listed[$path]=$type
  [[ $deleted == true && $mft -gt 15 && $parent -ge 5 && $offset -eq 0 && $cluster -eq 0 ]] ||
    fail "deleted $path: fields deleted=$deleted mft=$mft parent_mft=$parent record_offset=$offset"
done < <(jq -r '[.path, .type, .deleted, .mft, .parent_mft, .record_offset, .first_cluster] | @tsv' \
  "$work/deleted.jsonl")
found_deleted=0
while IFS=$'\t' read -r path digest; do
  if [[ -n ${listed[$path]:-} ]]; then
    pass
    found_deleted=$((found_deleted + 1))
  else
    fail "deleted $path not listed"
  fi
done < <(manifest_rows '$3 == 1')
while IFS=$'\t' read -r path digest; do
  [[ -z ${listed[$path]:-} ]] && pass || fail "live $path listed as deleted"
done < <(manifest_rows '$3 == 0')

run_cli "$work/all.jsonl" "$work/all.err" scan "$image" --all --json
check "scan --all exits 0 (got $rc: $(cat "$work/all.err"))" test "$rc" -eq 0
declare -A all=()
while IFS=$'\t' read -r path deleted; do all[$path]=$deleted; done < <(jq -r '[.path, .deleted] | @tsv' "$work/all.jsonl")
while IFS=$'\t' read -r path digest; do
  [[ $path == *.tmp ]] && continue
  [[ ${all[$path]:-} == false ]] && pass || fail "live $path not listed by --all"
done < <(manifest_rows '$3 == 0')

# --- Recovery ------------------------------------------------------------------
run_cli "$work/recover.out" "$work/recover.err" recover "$image" --to "$work/deleted"
check "recover exits 0 (got $rc: $(cat "$work/recover.err"))" test "$rc" -eq 0
recovered_deleted=0
while IFS=$'\t' read -r path digest; do
  expect_content "deleted $path" "$work/deleted/$path"
  [[ -f $work/deleted/$path && $(sha256sum <"$work/deleted/$path" | cut -d' ' -f1) == "$digest" ]] &&
    recovered_deleted=$((recovered_deleted + 1))
done < <(manifest_rows '$1 == "file" && $3 == 1')

# Every present file too: a stick that shows as RAW is copied off whole.
run_cli "$work/recover_all.out" "$work/recover_all.err" recover "$image" --all --to "$work/all"
check "recover --all exits 0 (got $rc: $(cat "$work/recover_all.err"))" test "$rc" -eq 0
recovered_present=0
while IFS=$'\t' read -r path digest; do
  [[ $path == *.tmp ]] && continue
  expect_content "present $path" "$work/all/$path"
  [[ -f $work/all/$path && $(sha256sum <"$work/all/$path" | cut -d' ' -f1) == "$digest" ]] &&
    recovered_present=$((recovered_present + 1))
done < <(manifest_rows '$1 == "file" && $3 == 0')
echo "FIGURES: present files recovered exactly by --all: $recovered_present"

check "scans and recoveries leave the image unchanged" test "$(cksum <"$image")" = "$image_digest"

# --- The quick-formatted copy ------------------------------------------------
run_cli "$work/unformat.jsonl" "$work/unformat.err" scan "$formatted" --unformat --json
check "scan --unformat exits 0 (got $rc: $(cat "$work/unformat.err"))" test "$rc" -eq 0
# The old records' folders are gone: each is listed as dir<parent record>/name.
declare -A by_name=()
bad_paths=0
while IFS=$'\t' read -r path parent offset; do
  if ((offset == 0)); then continue; fi  # a free record of the new $MFT
  if [[ $path != "dir$parent/"* ]]; then
    bad_paths=$((bad_paths + 1))
    continue
  fi
  by_name[${path##*/}]=1
done < <(jq -r '[.path, .parent_mft, .record_offset] | @tsv' "$work/unformat.jsonl")
check "old records are listed below dir<parent record> ($bad_paths are not)" test "$bad_paths" -eq 0
found_old=0
while IFS=$'\t' read -r path digest; do
  [[ -n ${by_name[${path##*/}]:-} ]] && found_old=$((found_old + 1))
done < <(manifest_rows '$1 == "file"')
# The new $MFT takes the old one's first records; the rest survive, the
# folder of many files at least.
check "unformat finds at least 100 old files by name (found $found_old)" test "$found_old" -ge 100

run_cli "$work/unformat_recover.out" "$work/unformat_recover.err" recover "$formatted" --unformat --to "$work/unformat"
check "recover --unformat exits 0 (got $rc: $(cat "$work/unformat_recover.err"))" test "$rc" -eq 0
# Every file found by name comes back byte for byte under its dirN folder
# (one of the copies, when a name was found more than once).
declare -A digests_by_name=()
while IFS= read -r -d '' file; do
  name=${file##*/}
  # A second record of one name in one folder was written as "name (1).ext".
  [[ $name =~ ^(.*)\ \([0-9]+\)(\.[^.]*)?$ ]] && name=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
  digests_by_name[$name]+=" $(sha256sum <"$file" | cut -d' ' -f1)"
done < <(find "$work/unformat" -type f -path "$work/unformat/dir*" -print0)
recovered_old=0
while IFS=$'\t' read -r path digest; do
  name=${path##*/}
  [[ -n ${by_name[$name]:-} ]] || continue
  # Names that repeat (spacer files) may hold another file's content.
  [[ $name == spacer* ]] && continue
  if [[ ${digests_by_name[$name]:-} == *" $digest"* ]]; then
    pass
    recovered_old=$((recovered_old + 1))
  else
    fail "unformat $path found but not recovered byte for byte"
  fi
done < <(manifest_rows '$1 == "file"')

check "the unformat scan and recovery leave the copy unchanged" test "$(cksum <"$formatted")" = "$formatted_digest"

echo "deleted files listed: $found_deleted, recovered exactly: $recovered_deleted;" \
  "old files found after the format: $found_old, recovered exactly: $recovered_old"
finish
