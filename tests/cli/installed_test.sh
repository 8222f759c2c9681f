#!/usr/bin/env bash
# salvor-cli as `cmake --install` lays it out: the program in bin/, the
# component libraries in lib/salvor/, found from there; the manual page
# names every command and option that the program's help names.
#
#   installed_test.sh SALVOR_CLI BUILD_DIR SAMPLE_IMAGE_GZ
salvor_cli=$1
build_dir=$2
sample=$3
source "$(dirname "$0")/test_lib.sh"
need_tools cmake gzip

prefix=$work/prefix
if ! cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  fail "cmake --install failed"
  finish
  exit
fi
installed=$prefix/bin/salvor-cli
check "salvor-cli is installed in bin/" test -x "$installed"
for library in libgleaner.so libsurveyor.so; do
  check "$library is installed in lib/salvor/" test -f "$prefix/lib/salvor/$library"
  check "$library is not beside the program" test ! -e "$prefix/bin/$library"
done
check "the manual page is installed" test -s "$prefix/share/man/man1/salvor-cli.1.gz"

gzip -dc "$sample" >"$work/sample.img"
salvor_cli=$installed
run_cli "$work/out" "$work/err" scan "$work/sample.img"
check "the installed salvor-cli scans the sample (exit $rc: $(head -c 300 "$work/err"))" test "$rc" -eq 0
check "the scan lists deleted entries" test -s "$work/out"
run_cli "$work/out" "$work/err" drives --json
check "the installed salvor-cli loads Surveyor (exit $rc: $(head -c 300 "$work/err"))" test "$rc" -eq 0

# Every command of the help and every option of each command's help appear
# in the manual page (roff writes "-" as "\-").
gzip -dc "$prefix/share/man/man1/salvor-cli.1.gz" | sed 's/\\-/-/g' >"$work/man"
run_cli "$work/help" "$work/err" --help
commands=$(sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p; s/^  \([a-z][a-z-]*\)$/\1/p' "$work/help" | sort -u)
check "the help lists commands" test -n "$commands"
for command in $commands; do
  grep -q "^\.B salvor-cli $command\b" "$work/man" || fail "the manual page's synopsis lacks '$command'"
  run_cli "$work/help" "$work/err" "$command" --help
  for option in $(grep -o -- '--[a-z][a-z-]*' "$work/help" | sort -u); do
    if grep -q -- "$option\b" "$work/man"; then pass; else fail "the manual page lacks $command's $option"; fi
  done
done
finish
