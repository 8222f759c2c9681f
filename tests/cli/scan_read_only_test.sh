#!/usr/bin/env bash
# salvor-cli scan never writes to what it scans: the image's bytes and its
# modification time are the same after every kind of scan.
#
#   scan_read_only_test.sh SALVOR_CLI FIXTURE_SCRIPT
salvor_cli=$1
fixture_script=$2
source "$(dirname "$0")/test_lib.sh"
need_tools mkfs.fat mcopy xxd

image=$work/volume.img
bash "$fixture_script" "$image" "$work/manifest.tsv" -s 1 || { echo "FAIL: the fixture could not be built"; exit 1; }
# A file the scan could only change by writing: read-only for its owner.
chmod a-w "$image"
before=$(sha256sum <"$image")
stamp_before=$(stat -c %Y "$image")

for options in "" "--all" "--json" "--all --json" "--fs fat32 --all"; do
  # shellcheck disable=SC2086 # the options are words
  run_cli "$work/out" "$work/err" scan "$image" $options
  check "scan $options exits 0 (got $rc: $(cat "$work/err"))" test "$rc" -eq 0
  check "the image is unchanged after scan $options" test "$(sha256sum <"$image")" = "$before"
done
check "the image's modification time is unchanged" test "$(stat -c %Y "$image")" = "$stamp_before"
finish
