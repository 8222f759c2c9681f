#!/bin/sh
# Runs a program of the Windows build under Wine: the cross build's
# CMAKE_CROSSCOMPILING_EMULATOR, used by ctest and by test discovery.
#
# scripts/lib/wine.sh exports WINEPREFIX and a running wineserver for a whole
# test run. When ctest is started by hand without it, the prefix of the
# nearest build folder above the working directory ("wineprefix") is used if
# there is one, else Wine's default.
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(pwd)
  while [ -n "$dir" ] && [ "$dir" != "/" ]; do
    if [ -f "$dir/wineprefix/system.reg" ]; then
      WINEPREFIX="$dir/wineprefix"
      export WINEPREFIX
      break
    fi
    dir=$(dirname "$dir")
  done
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
if command -v wine >/dev/null 2>&1; then
  loader=wine
else
  # Only the 64-bit loader is installed.
  export WINELOADER="${WINELOADER:-/usr/lib/wine/wine64}"
  loader=$WINELOADER
fi
if [ -z "${SALVOR_WINE_READY:-}" ]; then
  # The first program of a Wine session starts Wine's own background
  # processes, which inherit its output pipes: whoever reads them (ctest, test
  # discovery) would wait for them to end. Start them apart from any pipe, in
  # a server that stays a while for the next programs. wine.sh does this once
  # per run and sets SALVOR_WINE_READY.
  server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  "$server" -p30 </dev/null >/dev/null 2>&1
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1
fi
exec "$loader" "$@"
