#!/usr/bin/env bash
# salvor-cli scan against The Sleuth Kit on a real FAT32 image made by
# mkfs.fat and mtools: every deleted file and folder that `fls -r -d` finds
# must be listed (deleted) under the same path, and every present item that
# `fls -r -u` finds or that the fixture wrote must be listed by --all. Sizes
# and folder numbers are checked against what the fixture wrote.
#
#   scan_oracle_test.sh SALVOR_CLI FIXTURE_SCRIPT [mkfs.fat options...]
#
# Paths are compared with ASCII letters lower-cased: salvor-cli shows 8.3
# names as stored on disk (upper case), while fls applies the entry's
# lower-case flags ("README.TXT" there is "readme.txt" here).
salvor_cli=$1
fixture_script=$2
shift 2
source "$(dirname "$0")/test_lib.sh"
need_tools fls jq mkfs.fat mcopy xxd

image=$work/volume.img
manifest=$work/manifest.tsv
bash "$fixture_script" "$image" "$manifest" "$@" || { echo "FAIL: the fixture could not be built"; exit 1; }

run_cli "$work/deleted.jsonl" "$work/deleted.err" scan "$image" --json
check "scan --json exits 0 (got $rc: $(cat "$work/deleted.err"))" test "$rc" -eq 0
run_cli "$work/all.jsonl" "$work/all.err" scan "$image" --all --json
check "scan --all --json exits 0 (got $rc: $(cat "$work/all.err"))" test "$rc" -eq 0

# fls lines read "r/r * 12:<TAB>path"; the type before the slash comes from
# the name entry ("-" when unknown, then the one after it counts). Virtual
# entries ($MBR, $FAT1, $FAT2, $OrphanFiles and what lies below it) are not
# on the volume's tree, and the volume label is no file.
fls_items() {
  fls -f fat32 -r -p "$@" "$image" | awk -F'\t' '
    {
      split($1, head, " "); type = substr(head[1], 1, 1)
      if (type == "-") type = substr(head[1], 3, 1)
      path = $0; sub(/^[^\t]*\t/, "", path)
      if (path ~ /^\$/ || path ~ /\(Volume Label Entry\)$/) next
      print (type == "d" ? "folder" : "file") "\t" path
    }' | ascii_lower | sort -u
}

salvor_items() {  # salvor_items JSONL FILTER
  jq -r "select($2) | [.type, .path] | @tsv" "$1" | ascii_lower | sort -u
}

fls_items -d >"$work/tsk_deleted.txt"
fls_items -u >"$work/tsk_present.txt"
salvor_items "$work/deleted.jsonl" '.deleted' >"$work/salvor_deleted.txt"
salvor_items "$work/all.jsonl" '.deleted | not' >"$work/salvor_present.txt"
awk -F'\t' 'NR > 1 && $3 == 0 { print $1 "\t" $2 }' "$manifest" | ascii_lower | sort -u >"$work/manifest_present.txt"

# expect_listed WHAT EXPECTED LISTED: every line of EXPECTED is in LISTED.
expect_listed() {
  local missing
  missing=$(comm -23 "$2" "$3")
  if [[ -n $missing ]]; then
    fail "$1 not listed by salvor-cli:"
    printf '  %s\n' "$missing"
  else
    pass
  fi
}

expect_listed "deleted items found by fls -d" "$work/tsk_deleted.txt" "$work/salvor_deleted.txt"
expect_listed "present items found by fls -u" "$work/tsk_present.txt" "$work/salvor_present.txt"
expect_listed "present items the fixture wrote" "$work/manifest_present.txt" "$work/salvor_present.txt"
# More than fls is not wrong in itself (fls may skip damaged entries), but
# it is worth seeing.
extra=$(comm -13 "$work/tsk_deleted.txt" "$work/salvor_deleted.txt")
[[ -n $extra ]] && printf 'note: deleted items listed by salvor-cli but not by fls:\n%s\n' "$extra"

# The --all listing holds the deleted items of the default listing too.
check "--all lists every deleted item of the default listing" \
  test -z "$(comm -23 "$work/salvor_deleted.txt" <(salvor_items "$work/all.jsonl" '.deleted'))"

# Sizes of every file the fixture wrote. A deleted entry without a long name
# is listed with "_" for the first character of its name.
jq -r 'select(.type == "file") | [.deleted, .path, .size] | @tsv' "$work/all.jsonl" | ascii_lower |
  sort -u >"$work/salvor_sizes.txt"
while IFS=$'\t' read -r type path deleted size _; do
  [[ $type == file ]] || continue
  state=$([[ $deleted == 1 ]] && echo true || echo false)
  name=${path##*/}
  dir=$([[ $path == */* ]] && echo "${path%/*}/" || echo "")
  short="${dir}_${name:1}"
  found=0
  for candidate in "$path" "$short"; do
    if grep -qxF "$(printf '%s\t%s\t%s' "$state" "$candidate" "$size" | ascii_lower)" "$work/salvor_sizes.txt"; then
      found=1
      break
    fi
  done
  if [[ $found == 1 ]]; then pass; else fail "fixture file '$path' (deleted=$deleted, $size bytes) not listed with that size"; fi
done < <(tail -n +2 "$manifest")

# Folder numbers: an item's folder is the first cluster of the folder that
# holds it and its parent folder that of the next one up (0 at the root).
numbers=$(jq -s -r '
  (map(select(.type == "folder")) | map({key: .path, value: .first_cluster}) | from_entries) as $clusters
  | .[]
  | (.path | split("/")) as $parts
  | (if ($parts | length) < 2 then 0 else $clusters[$parts[:-1] | join("/")] end) as $folder
  | (if ($parts | length) < 3 then 0 else $clusters[$parts[:-2] | join("/")] end) as $parent
  | select(.folder != $folder or .parent_folder != $parent)
  | "\(.path): folder \(.folder) parent \(.parent_folder), expected \($folder) and \($parent)"' "$work/all.jsonl")
if [[ -n $numbers ]]; then
  fail "folder numbers:"
  printf '  %s\n' "$numbers"
else
  pass
fi

echo "compared: fls deleted $(wc -l <"$work/tsk_deleted.txt"), fls present $(wc -l <"$work/tsk_present.txt")," \
  "fixture present $(wc -l <"$work/manifest_present.txt"), fixture files $(awk -F'\t' 'NR > 1 && $1 == "file"' "$manifest" | wc -l);" \
  "salvor-cli deleted $(wc -l <"$work/salvor_deleted.txt"), present $(wc -l <"$work/salvor_present.txt")"
finish
