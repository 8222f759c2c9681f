# Shared by the scripts: installing Debian packages that are missing, and
# the number of parallel jobs.
# shellcheck shell=bash

SALVOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SALVOR_JOBS=${SALVOR_JOBS:-$(nproc 2>/dev/null || echo 2)}

log() { printf '\n==> %s\n' "$*" >&2; }

# install_packages PKG...: apt-get installs the packages that are not
# installed yet (root, or sudo without a password).
install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# package_list NAME: the packages of scripts/lib/NAME, one a line; "#"
# starts a comment, "@OTHER" takes in the list scripts/lib/OTHER (up to
# four levels deep).
package_list() {
  local file="$SALVOR_ROOT/scripts/lib/$1" depth=${2:-0} line
  [ -r "$file" ] || { echo "no package list $file" >&2; return 1; }
  [ "$depth" -lt 4 ] || { echo "package lists nested too deep at $file" >&2; return 1; }
  while read -r line; do
    line=${line%%#*}
    line=${line//[[:space:]]/}
    case "$line" in
      "") ;;
      @*) package_list "${line#@}" $((depth + 1)) || return 1 ;;
      *) echo "$line" ;;
    esac
  done <"$file"
}

# install_package_list NAME: installs the packages of scripts/lib/NAME.
install_package_list() {
  local packages
  packages=$(package_list "$1" | awk '!seen[$0]++') || return 1
  # One word a line: the list's packages.
  # shellcheck disable=SC2086
  install_packages $packages
}

# Every package the full test run needs.
install_test_packages() { install_package_list packages.txt; }
