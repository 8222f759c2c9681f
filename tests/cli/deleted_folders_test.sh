#!/usr/bin/env bash
# Big folders deleted whole, on a real volume, checked against what the
# fixture wrote: the Quick Scan lists at least 95 % of the deleted files at
# their path (the folder's later clusters, whose chain the deletion freed,
# are found again), and every deleted file it lists comes back byte for byte,
# at its path or under the lost-entries folder.
#
#   deleted_folders_test.sh SALVOR_CLI FIXTURE_SCRIPT COUNT LAYOUT [fixture options...]
#
# FIXTURE_SCRIPT is make_fat_folders_image.sh (mkfs.fat options follow) or
# make_exfat_folders_image.sh (mkfs.exfat options follow). The figures line
# also gives what The Sleuth Kit's fls -r -d lists as deleted, for reports.
salvor_cli=$1
fixture_script=$2
count=$3
layout=$4
shift 4
source "$(dirname "$0")/test_lib.sh"
need_tools jq sha256sum

image=$work/volume.img
manifest=$work/manifest.tsv
bash "$fixture_script" "$image" "$manifest" "$count" "$layout" "$@" >"$work/fixture.log" 2>&1
fixture_rc=$?
[[ $fixture_rc == 77 ]] && skip "$(tail -n1 "$work/fixture.log")"
((fixture_rc == 0)) || { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }
lost_folder='$LostEntries'

run_cli "$work/scan.jsonl" "$work/scan.err" scan "$image" --json
check "scan exits 0 (got $rc: $(cat "$work/scan.err"))" test "$rc" -eq 0
declare -A listed=()
while IFS= read -r path; do listed[$path]=1; done < <(jq -r 'select(.deleted and .type == "file") | .path' "$work/scan.jsonl")
lost_listed=$(jq -r 'select(.lost) | .path' "$work/scan.jsonl" | wc -l)

run_cli "$work/recover.out" "$work/recover.err" recover "$image" --to "$work/out"
check "recover exits 0 (got $rc: $(cat "$work/recover.err"))" test "$rc" -eq 0
# Files under the lost-entries folder, by name.
declare -A lost_files=()
if [[ -d $work/out/$lost_folder ]]; then
  while IFS= read -r -d '' file; do lost_files[${file##*/}]=$file; done < <(find "$work/out/$lost_folder" -type f -print0)
fi

deleted=0 at_path=0 exact=0
while IFS=$'\t' read -r type path is_deleted size digest fragmented intact; do
  [[ $type == file && $is_deleted == 1 ]] || continue
  deleted=$((deleted + 1))
  [[ -n ${listed[$path]:-} ]] && at_path=$((at_path + 1))
  [[ $intact == 1 ]] || continue
  file=$work/out/$path
  [[ -f $file ]] || file=${lost_files[${path##*/}]:-}
  if [[ -n $file && -f $file && $(sha256sum <"$file" | cut -d' ' -f1) == "$digest" ]]; then
    exact=$((exact + 1))
  elif [[ -n ${listed[$path]:-} ]]; then
    fail "$path: listed, but not recovered byte for byte"
  fi
done < <(tail -n +2 "$manifest")

fls_deleted=-
command -v fls >/dev/null && fls_deleted=$(fls -r -d "$image" 2>/dev/null | grep -cE '^[+ ]*[-r]/r \*')
echo "FIGURES: deleted=$deleted listed_at_path=$at_path recovered_exact=$exact lost_listed=$lost_listed fls_deleted=$fls_deleted"
check "at least 95 % of $deleted deleted files listed at their path (got $at_path)" \
  test $((at_path * 100)) -ge $((deleted * 95))
check "at least 95 % of $deleted deleted files recovered byte for byte (got $exact)" \
  test $((exact * 100)) -ge $((deleted * 95))
finish
