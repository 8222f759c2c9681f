# Shared helpers of the salvor-cli end-to-end tests (sourced, not run).
# Each test gets a private temporary folder under $SALVOR_TEST_TMP (or the
# system's), removed when the test ends.

set -uo pipefail

test_name=$(basename "$0" .sh)
test_root=${SALVOR_TEST_TMP:-${TMPDIR:-/tmp}}
mkdir -p "$test_root"
work=$(mktemp -d "$test_root/$test_name.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

# ctest counts exit code 77 as skipped (SKIP_RETURN_CODE).
skip() {
  echo "SKIP: $*"
  exit 77
}

need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

pass() {
  checks=$((checks + 1))
}

# check CONDITION-DESCRIPTION COMMAND...: runs the command, counts a failure
# when it fails.
check() {
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}

finish() {
  echo "$test_name: $checks passed, $failures failed"
  [[ $failures -eq 0 ]]
}

# seeded_bytes SEED COUNT: COUNT pseudo-random bytes, the same for the same
# seed on one machine.
seeded_bytes() {
  awk -v seed="$1" -v n="$2" 'BEGIN { srand(seed); for (i = 0; i < n; i++) printf "%02x", int(rand() * 256) }' |
    xxd -r -p
}

# patch FILE OFFSET HEX: overwrites bytes at OFFSET with the hex digits given.
patch() {
  printf '%s' "$3" | xxd -r -p | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# le32 VALUE: the hex digits of VALUE as a little-endian 32-bit field.
le32() {
  printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'
}

# run_cli OUT ERR ARGS...: runs salvor-cli under a time limit; sets `rc`.
# A run that hangs ends with 124 from timeout, one killed by a signal with
# 128 + the signal's number.
run_cli() {
  local out=$1 err=$2
  shift 2
  timeout 20 "$salvor_cli" "$@" >"$out" 2>"$err"
  rc=$?
}

# Lower-cases ASCII letters only: 8.3 names are shown as stored (upper case)
# by salvor-cli and with the entry's case flags applied by The Sleuth Kit, and
# only ASCII letters take those flags.
ascii_lower() {
  LC_ALL=C tr 'A-Z' 'a-z'
}
