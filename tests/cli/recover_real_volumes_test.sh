#!/usr/bin/env bash
# salvor-cli scan and recover on a real FAT16 or FAT32 volume made by
# mkfs.fat and mtools, checked against what the fixture wrote:
#  - the Quick Scan lists every deleted file and folder;
#  - every deleted file that is in one piece and not overwritten comes back
#    byte for byte, and so does every present file, fragmented or not;
#  - on a copy quick-formatted with the same tool and parameters, the
#    Unformatting Scan finds the old files below the root by name and
#    recovers those in one piece byte for byte;
#  - neither image changes.
#
#   recover_real_volumes_test.sh SALVOR_CLI FIXTURE_SCRIPT [mkfs.fat options...]
#
# A deleted entry without a long name is listed with "_" for the first
# character of its name; 8.3 names keep their stored (upper) case, so paths
# are compared with ASCII letters lower-cased.
salvor_cli=$1
fixture_script=$2
shift 2
source "$(dirname "$0")/test_lib.sh"
need_tools jq mkfs.fat mcopy xxd sha256sum

image=$work/volume.img
manifest=$work/manifest.tsv
bash "$fixture_script" "$image" "$manifest" "$@" >"$work/fixture.log" 2>&1 ||
  { cat "$work/fixture.log"; echo "FAIL: the fixture could not be built"; exit 1; }
# A CRC is enough to see a change, and fast on a 2 GiB image.
image_digest=$(cksum <"$image")
# FAT16 boot sectors have a 16-bit sectors-per-FAT field at 22; FAT32's is 0.
fat16=0
[[ $(od -An -tu2 -j22 -N2 "$image" | tr -d ' ') != 0 ]] && fat16=1

lower() { printf '%s\n' "$1" | ascii_lower; }
# The name a deleted 8.3 entry is listed under: "_" for its first character.
underscored() {
  local dir base
  base=${1##*/}
  [[ $1 == */* ]] && dir=${1%/*}/
  printf '%s_%s\n' "${dir:-}" "${base:1}"
}
# manifest_rows FILTER: "path<TAB>sha256<TAB>deleted" of the manifest's rows
# that the awk condition FILTER selects ($1 type, $2 path, $3 deleted, $4
# size, $5 sha256, $6 fragmented, $7 intact).
manifest_rows() {
  awk -F'\t' "NR > 1 && ($1) { print \$2 \"\\t\" \$5 \"\\t\" \$3 }" "$manifest"
}
# index_files DIR: fills `found` with lower-cased relative path -> file.
declare -A found
index_files() {
  found=()
  local file
  while IFS= read -r -d '' file; do
    found[$(lower "${file#"$1"/}")]=$file
  done < <(find "$1" -type f -print0)
}
# expect_content WHAT KEY... : the first KEY in `found` has the manifest's
# digest (in $digest).
expect_content() {
  local what=$1 key file
  shift
  for key in "$@"; do
    file=${found[$key]:-}
    [[ -n $file ]] && break
  done
  if [[ -z $file ]]; then
    fail "$what: not recovered"
  elif [[ $(sha256sum <"$file" | cut -d' ' -f1) != "$digest" ]]; then
    fail "$what: content differs"
  else
    pass
  fi
}

# --- Quick Scan: every deleted item is listed --------------------------------
run_cli "$work/deleted.jsonl" "$work/deleted.err" scan "$image" --json
check "scan exits 0 (got $rc: $(cat "$work/deleted.err"))" test "$rc" -eq 0
declare -A listed=()
while IFS= read -r path; do listed[$(lower "$path")]=1; done < <(jq -r 'select(.deleted) | .path' "$work/deleted.jsonl")
while IFS=$'\t' read -r path digest deleted; do
  key=$(lower "$path")
  if [[ -n ${listed[$key]:-} || -n ${listed[$(underscored "$key")]:-} ]]; then pass; else fail "deleted $path not listed"; fi
done < <(manifest_rows '$3 == 1')

# --- Recovery of deleted files, then of every file ---------------------------
run_cli "$work/recover.out" "$work/recover.err" recover "$image" --to "$work/deleted"
check "recover exits 0 (got $rc: $(cat "$work/recover.err"))" test "$rc" -eq 0
index_files "$work/deleted"
while IFS=$'\t' read -r path digest deleted; do
  key=$(lower "$path")
  expect_content "deleted $path" "$key" "$(underscored "$key")"
done < <(manifest_rows '$1 == "file" && $3 == 1 && $6 == 0 && $7 == 1')

run_cli "$work/recover_all.out" "$work/recover_all.err" recover "$image" --all --to "$work/all"
check "recover --all exits 0 (got $rc: $(cat "$work/recover_all.err"))" test "$rc" -eq 0
index_files "$work/all"
while IFS=$'\t' read -r path digest deleted; do
  expect_content "present $path" "$(lower "$path")"
done < <(manifest_rows '$1 == "file" && $3 == 0')

# One named file, and a named folder with what lies below it.
run_cli "$work/named.out" "$work/named.err" recover "$image" --to "$work/named" "fragmented.bin" "Documents/Reports"
check "recover PATH... exits 0 (got $rc: $(cat "$work/named.err"))" test "$rc" -eq 0
check "recover PATH writes only what was named" \
  test "$(cd "$work/named" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
  "./Documents/Reports/2023/Q1/Deep Level/Leaf File.bin ./Documents/Reports/2023/Q1/Draft Budget.xlsx ./Documents/Reports/2023/Q1/Summary Report.csv ./Documents/Reports/2023/Q1/empty notes.txt ./fragmented.bin "
run_cli "$work/missing.out" "$work/missing.err" recover "$image" --to "$work/missing" "no/such/file.txt"
check "recover of a path that names nothing exits 3 (got $rc)" test "$rc" -eq 3

check "scans and recoveries leave the image unchanged" test "$(cksum <"$image")" = "$image_digest"

# --- A quick format with the same tool and parameters ------------------------
# The same options as the fixture's own mkfs.fat run, over the filled image
# without zeroing it: the FATs and the root directory are new, the old
# folders' clusters stay.
formatted=$work/formatted.img
cp --sparse=always "$image" "$formatted"
mkfs.fat -F 32 -S 512 -i 5A1F0032 "$@" "$formatted" >"$work/mkfs.log" 2>&1 ||
  { cat "$work/mkfs.log"; echo "FAIL: mkfs.fat over the copy failed"; exit 1; }
formatted_digest=$(cksum <"$formatted")

run_cli "$work/unformat.jsonl" "$work/unformat.err" scan "$formatted" --unformat --json
check "scan --unformat exits 0 (got $rc: $(cat "$work/unformat.err"))" test "$rc" -eq 0
declare -A names=()
while IFS= read -r name; do names[$(lower "$name")]=1; done < <(jq -r '.path' "$work/unformat.jsonl")

# The root directory was overwritten, so its own entries may be gone; every
# file below it is expected by name. FAT16 knows an old folder by its first
# cluster alone (its dot pair), so the entries of "Many Files" past its first
# cluster are not expected there, only some of them.
many_found=0
declare -A expect_unformat=()
while IFS=$'\t' read -r path digest deleted; do
  [[ $path == */* ]] || continue
  base=$(lower "${path##*/}")
  listed_base=$base
  [[ -n ${names[$base]:-} ]] || listed_base=$(underscored "$base")
  if ((fat16)) && [[ $path == "Documents/Many Files/"* ]]; then
    [[ -n ${names[$listed_base]:-} ]] && many_found=$((many_found + 1))
    continue
  fi
  if [[ -n ${names[$listed_base]:-} ]]; then pass; else fail "unformat: $path not found by name"; fi
  expect_unformat[$path]=$listed_base
done < <(manifest_rows '$1 == "file"')
((fat16)) && check "unformat: some of Many Files found (got $many_found)" test "$many_found" -gt 0

run_cli "$work/unformat_recover.out" "$work/unformat_recover.err" recover "$formatted" --unformat --to "$work/unformat"
check "recover --unformat exits 0 (got $rc: $(cat "$work/unformat_recover.err"))" test "$rc" -eq 0
# Index the recovered files by name: the folders above them are rebuilt
# from folder numbers, and a folder whose entry was in the old root shows
# as a numbered one.
found=()
while IFS= read -r -d '' file; do found[$(lower "${file##*/}")]=$file; done < <(find "$work/unformat" -type f -print0)
while IFS=$'\t' read -r path digest deleted; do
  [[ -n ${expect_unformat[$path]:-} ]] || continue
  expect_content "unformat $path" "${expect_unformat[$path]}"
done < <(manifest_rows '$1 == "file" && $6 == 0 && $7 == 1')

check "the unformat scan and recovery leave the image unchanged" test "$(cksum <"$formatted")" = "$formatted_digest"

finish
