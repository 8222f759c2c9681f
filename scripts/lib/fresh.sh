# The fresh stage of scripts/test: the README's first command, and the
# Debian package, on a brand-new Debian 12 machine. Sourced by the test
# script (bash) after common.sh. Needs root (or password-less sudo),
# debootstrap and git (scripts/lib/packages.txt).
#
# The machine is made by fresh-root.sh: SALVOR_FRESH_ROOT names it, else it
# is ../shared/fresh-root.sh beside the checkout. Its work files (the
# pristine base, made once and kept, and the downloaded .debs) go to
# SALVOR_FRESH_OUT, by default ${TMPDIR:-/tmp}/salvor-fresh: a folder of this
# stage's own, used by one test run at a time, as apt locks the shared .deb
# cache of a run.
#
#   fresh_root_script       prints the path of fresh-root.sh; fails when
#                           there is none
#   fresh_prepare           makes the pristine base if there is none (or it is
#                           older than 30 days)
#   fresh_demo REF DIR      runs scripts/demo and scripts/package on a clean
#                           clone of REF, as the first user (uid 1000, sudo),
#                           and copies the package to DIR
#   fresh_package_test DEB  installs DEB with apt-get on another new machine,
#                           one without build tools, and scans the bundled
#                           sample with it
#   run_fresh_stage         all of the above for HEAD
# shellcheck shell=bash

FRESH_OUT=${SALVOR_FRESH_OUT:-${TMPDIR:-/tmp}/salvor-fresh}

fresh_root_script() {
  local script=${SALVOR_FRESH_ROOT:-$SALVOR_ROOT/../shared/fresh-root.sh}
  if [ ! -f "$script" ]; then
    echo "no fresh-root.sh at $script (set SALVOR_FRESH_ROOT)" >&2
    return 1
  fi
  (cd "$(dirname "$script")" && echo "$(pwd)/$(basename "$script")")
}

# _fresh ARGS...: fresh-root.sh ARGS as root, with this FRESH_OUT.
_fresh() {
  local script sudo=()
  script=$(fresh_root_script) || return 1
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # Through bash: a copy of the script may have lost its execute bit.
  "${sudo[@]}" env FRESH_OUT="$FRESH_OUT" bash "$script" "$@"
}

fresh_prepare() {
  # fresh-root.sh keeps a base it has made; one a month old is made anew.
  if [ -s "$FRESH_OUT/base.tar" ] && [ -n "$(find "$FRESH_OUT/base.tar" -mtime +30)" ]; then
    _fresh prepare --force
  else
    _fresh prepare
  fi
}

# fresh_demo REF DIR: the README's commands on a clean clone of REF as the
# first user (uid 1000, sudo): scripts/demo, then scripts/package, whose
# .deb is copied to DIR.
fresh_demo() {
  local ref=${1:?fresh_demo REF DIR} dir=${2:?fresh_demo REF DIR}
  local out="$SALVOR_ROOT/build/fresh/demo.out" rc=0 rundir deb
  mkdir -p "$dir" "$(dirname "$out")" || return 1
  # The downloaded .debs are kept between runs (--apt-cache): the machine
  # still starts with nothing installed, apt-get just need not fetch them
  # again. --keep leaves the root in place for the package to be taken out.
  _fresh run --keep --as-user --apt-cache --limit 40 --ref "$ref" "$SALVOR_ROOT" $'scripts/demo\nscripts/package' \
    2>&1 | tee "$out" || rc=$?
  rundir=$(sed -n 's/^fresh-root.sh: kept \(.*\)$/\1/p' "$out" | tail -n 1)
  if [ -n "$rundir" ]; then
    deb=$(find "$rundir/home/user/project/build/package/package" -maxdepth 1 -name 'salvor_*.deb' 2>/dev/null | head -n 1)
    if [ $rc -eq 0 ] && [ -n "$deb" ]; then cp "$deb" "$dir/" || rc=1; fi
    _fresh_remove_root "$rundir"
  fi
  [ $rc -eq 0 ] && [ -n "${deb:-}" ]
}

# _fresh_remove_root DIR: removes a root fresh-root.sh kept, once nothing is
# mounted below it (fresh-root.sh unmounts all before it says "kept").
_fresh_remove_root() {
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  case "$1" in "$FRESH_OUT"/run-[0-9]*) ;; *) return 1 ;; esac
  if awk -v p="$1" '$5 == p || index($5, p "/") == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
    echo "fresh: $1 still has mounts; left in place" >&2
    return 1
  fi
  "${sudo[@]}" rm -rf --one-file-system "$1"
}

fresh_package_test() {
  local deb=${1:?fresh_package_test DEB}
  # fresh-root.sh brings in a clone of a commit: the package and the sample
  # travel in a throw-away repository of their own.
  local repo="$SALVOR_ROOT/build/fresh/package-test"
  rm -rf "$repo" && mkdir -p "$repo" || return 1
  cp "$deb" "$SALVOR_ROOT/res/sample/usb-stick.img.gz" "$repo/" || return 1
  git -C "$repo" init -q && git -C "$repo" add . &&
    git -C "$repo" -c user.name=salvor -c user.email=salvor@localhost commit -qm "package under test" || return 1
  _fresh run --as-user --apt-cache --limit 15 --ref HEAD "$repo" '
test -z "$(command -v cc c++ gcc g++ make cmake ninja pkg-config)"
sudo apt-get update -qq
sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./salvor_*.deb
command -v salvor-cli
salvor-cli --version
gzip -dc usb-stick.img.gz > usb-stick.img
salvor-cli scan usb-stick.img
salvor-cli drives
test -s /usr/share/man/man1/salvor-cli.1.gz
test -s /usr/share/doc/salvor/copyright'
}

run_fresh_stage() {
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" mkdir -p "$FRESH_OUT" || return 1
  # One test run at a time in FRESH_OUT; a second one waits here.
  (
    flock 9 || exit 1
    _run_fresh_stage
  ) 9<"$FRESH_OUT"
}

_run_fresh_stage() {
  local t0=$SECONDS deb
  log "fresh: the pristine Debian 12 base"
  fresh_prepare || return 1
  log "fresh: scripts/demo and scripts/package on a new machine ($(git -C "$SALVOR_ROOT" rev-parse --short HEAD))"
  local debs="$SALVOR_ROOT/build/fresh/package"
  rm -rf "$debs"
  fresh_demo HEAD "$debs" || return 1
  log "fresh: that Debian package, installed on a new machine without build tools"
  deb=$(find "$debs" -maxdepth 1 -name 'salvor_*.deb' | head -n 1)
  fresh_package_test "$deb" || return 1
  log "fresh: passed in $((SECONDS - t0)) s"
}
