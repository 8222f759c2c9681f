#!/bin/sh
# Maps Wine drive LETTER to a fresh FAT32 volume for the Surveyor test, or
# removes that mapping again.
#
#   surveyor_drive.sh setup|cleanup LETTER WORK_DIR BUILD_DIR
#
# The volume is an image made by mkfs.fat, attached to a loop device when
# possible (root), because only then does Wine report its file system as
# FAT32; otherwise the image file itself backs the drive. Wine reads its
# drive links when its server starts, so the server is restarted (kept
# persistent when it was). What was done goes to WORK_DIR/surveyor-drive.status
# ("loop", "image", or "none: why"), which the test reads.
set -u
action=${1:?setup|cleanup}
letter=$(printf '%s' "${2:?LETTER}" | tr 'A-Z' 'a-z')
work_dir=${3:?WORK_DIR}
build_dir=${4:?BUILD_DIR}
status="$work_dir/surveyor-drive.status"
image="$work_dir/surveyor-drive.img"
mkdir -p "$work_dir"

# The prefix the tests run in: as wine-emulator.sh finds it.
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$build_dir
  while [ -n "$dir" ] && [ "$dir" != "/" ]; do
    if [ -f "$dir/wineprefix/system.reg" ]; then
      WINEPREFIX="$dir/wineprefix"
      break
    fi
    dir=$(dirname "$dir")
  done
fi
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
devices="$WINEPREFIX/dosdevices"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

loader=$(command -v wine || echo /usr/lib/wine/wine64)
[ "$loader" = /usr/lib/wine/wine64 ] && export WINELOADER=$loader

# Neither the new server nor Wine's services (which stay with a persistent
# server) may inherit a test's output pipes: ctest waits for every writer
# of a test's output to finish. So they are started here, on /dev/null.
restart_server() {
  if "$server" -k >/dev/null 2>&1; then
    "$server" -w >/dev/null 2>&1
    "$server" -p </dev/null >/dev/null 2>&1
    WINEDEBUG=-all "$loader" wineboot </dev/null >/dev/null 2>&1
  fi
}

case $action in
setup)
  if [ ! -d "$devices" ]; then
    echo "none: no Wine prefix at $WINEPREFIX" >"$status"
    exit 0
  fi
  # A run that ended without its cleanup may have left its device attached.
  [ -f "$image.loop" ] && losetup -d "$(cat "$image.loop")" 2>/dev/null
  rm -f "$image" "$image.loop"
  if ! truncate -s 40M "$image" || ! mkfs.fat -F 32 -n SURVEYOR "$image" >/dev/null 2>&1; then
    echo "none: mkfs.fat failed" >"$status"
    exit 0
  fi
  mkdir -p "$image.root"
  target=$image
  kind=image
  if loop=$(losetup -f --show "$image" 2>/dev/null); then
    target=$loop
    kind=loop
    echo "$loop" >"$image.loop"
  fi
  ln -sfn "$target" "$devices/$letter::"
  ln -sfn "$image.root" "$devices/$letter:"
  restart_server
  echo "$kind" >"$status"
  echo "drive $letter: -> $target ($kind)"
  ;;
cleanup)
  rm -f "$devices/$letter::" "$devices/$letter:"
  [ -f "$image.loop" ] && losetup -d "$(cat "$image.loop")" 2>/dev/null
  rm -rf "$image" "$image.loop" "$image.root" "$status"
  restart_server
  ;;
*)
  echo "usage: $0 setup|cleanup LETTER WORK_DIR BUILD_DIR" >&2
  exit 1
  ;;
esac
