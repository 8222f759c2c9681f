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

# Every package the full test run needs.
install_test_packages() {
  local packages
  mapfile -t packages < <(grep -v '^\s*\(#\|$\)' "$SALVOR_ROOT/scripts/lib/packages.txt")
  install_packages "${packages[@]}"
}
