# Windows build and tests on Linux: mingw-w64 cross build, run under Wine.
# Sourced by the test scripts (bash). Needs the packages of
# scripts/lib/packages.txt; works as root, without standard input.
#
#   run_windows_tests BUILD_DIR SOURCE_DIR
#       Configures BUILD_DIR with cmake/mingw-w64-x86_64.cmake, builds it
#       (ninja -j${SALVOR_JOBS:-2}), then runs ctest --output-on-failure in it
#       under a private Wine prefix, one persistent wineserver and an Xvfb
#       display, and returns ctest's exit code (or the failing step's). Runs
#       in a subshell: everything it starts is stopped when it returns, also
#       on failure or interruption, and the caller's environment is left as
#       it was.
#
# The pieces, for callers that drive Wine themselves (GUI tests); such a
# caller should `trap wine_cleanup EXIT`:
#   wine_setup BUILD_DIR    exports WINEPREFIX=BUILD_DIR/wineprefix, WINEDEBUG,
#                           WINEDLLOVERRIDES and WINE (the loader to call);
#                           makes the prefix the first time (about 15 s).
#   wine_start_server       starts one persistent wineserver for the prefix.
#   wine_stop_server        stops it and every Wine process of the prefix.
#   wine_start_display      starts Xvfb on a free display and exports DISPLAY.
#   wine_stop_display       stops that Xvfb.
#   wine_link_drive LETTER IMAGE   makes \\.\LETTER: read IMAGE (a file that
#                           may not exist yet); call before wine_start_server.
#   wine_restart_server     restarts the server after drive links changed,
#                           keeping it persistent, Wine's services started
#                           apart from the caller's output.
#   wine_cleanup            stops whatever of the above is running.
#
# What the tests get from run_windows_tests: DISPLAY, WINEPREFIX and
# friends, SALVOR_WINE_READY (cmake/wine-emulator.sh then skips its own
# start-up of Wine) and SALVOR_RAW_VOLUME_IMAGE, the file behind drive X:
# (tests/win writes the sample volume there and reads it as \\.\X:).
#
# Learnt on Wine 8:
# - The first program after a server start launches Wine's background
#   processes (services.exe, winedevice.exe, ...), which inherit its standard
#   handles; ctest and test discovery read those pipes until every writer is
#   gone, so they hang until their timeout. Hence the warm-up on /dev/null.
# - A dosdevices link "x::" may point at a file that does not exist yet when
#   the server starts; once written, the file is read as \\.\X: without a
#   restart. DefineDosDeviceW to a file does not work (error 3 on open).
# - Linux paths ("/work/...") work in Windows programs while the current
#   drive is Z:, but tests get Z: paths (SALVOR_TEST_TMP) so as not to rely
#   on it.

_wine_log() { printf 'wine.sh: %s\n' "$*" >&2; }

# The loader: `wine` when installed, else the bare 64-bit loader.
_wine_loader() {
  if command -v wine >/dev/null 2>&1; then
    command -v wine
  elif [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    return 1
  fi
}

_wine_server() {
  if command -v wineserver >/dev/null 2>&1; then
    command -v wineserver
  elif [ -x /usr/lib/wine/wineserver64 ]; then
    echo /usr/lib/wine/wineserver64
  else
    return 1
  fi
}

# Seconds since the epoch with fractions, for step timings.
_wine_now() { date +%s.%N; }
_wine_took() { awk -v a="$1" -v b="$(_wine_now)" 'BEGIN { printf "%.1f", b - a }'; }

wine_setup() {
  local build_dir=${1:?wine_setup BUILD_DIR}
  mkdir -p "$build_dir" || return 1
  WINE=$(_wine_loader) || { _wine_log "no Wine loader found (install wine and wine64)"; return 1; }
  WINESERVER=$(_wine_server) || { _wine_log "no wineserver found"; return 1; }
  WINEPREFIX=$(cd "$build_dir" && pwd)/wineprefix
  WINEDEBUG=-all
  # No Mono or Gecko install prompts; no desktop menu entries under $HOME.
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  WINEARCH=win64
  export WINE WINESERVER WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH
  # Only the 64-bit loader exists; child processes must find it too.
  if [ "$WINE" = /usr/lib/wine/wine64 ]; then export WINELOADER=$WINE; fi

  local ready="$WINEPREFIX/.salvor-prefix-ready"
  [ -f "$ready" ] && return 0
  local start
  start=$(_wine_now)
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # No display while the prefix is made: nothing to show, nothing to wait for.
  if ! env -u DISPLAY "$WINE" wineboot -i </dev/null >"$build_dir/wineboot.log" 2>&1; then
    _wine_log "wineboot -i failed; see $build_dir/wineboot.log"
    return 1
  fi
  "$WINESERVER" -w || true
  # Wine's own fonts (Tahoma and the symbol fonts) for drawing tests.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # Unmanaged windows: under a bare X server a managed window takes seconds
  # to close.
  env -u DISPLAY "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    </dev/null >>"$build_dir/wineboot.log" 2>&1 || { _wine_log "reg add failed"; return 1; }
  # Chinese text (the File Filter's category names) falls back from Tahoma
  # to SimSun, which Wine does not have: WenQuanYi stands in for it.
  env -u DISPLAY "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /d 'WenQuanYi Micro Hei' /f \
    </dev/null >>"$build_dir/wineboot.log" 2>&1 || { _wine_log "reg add failed"; return 1; }
  "$WINESERVER" -w || true
  touch "$ready"
  _wine_log "made the Wine prefix $WINEPREFIX in $(_wine_took "$start") s"
}

wine_start_server() {
  [ -n "${WINEPREFIX:-}" ] || { _wine_log "wine_setup first"; return 1; }
  # A server left by an earlier run may hold stale drive links.
  if "$WINESERVER" -k 2>/dev/null; then "$WINESERVER" -w 2>/dev/null || true; fi
  "$WINESERVER" -p </dev/null || { _wine_log "wineserver -p failed"; return 1; }
  _WINE_SERVER_STARTED=1
  # The first program starts Wine's background processes (services, device
  # drivers), which inherit its standard handles; start them here, apart from
  # the pipes through which ctest reads the test programs.
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  export SALVOR_WINE_READY=1
}

wine_stop_server() {
  [ -n "${_WINE_SERVER_STARTED:-}" ] || return 0
  # The server may have been restarted by a test meanwhile: -k stops
  # whichever server serves the prefix now.
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  _WINE_SERVER_STARTED=
}

wine_start_display() {
  local fd_file start
  fd_file=$(mktemp) || return 1
  start=$(_wine_now)
  # Xvfb picks a free display and writes its number once it accepts clients.
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$fd_file" </dev/null >/dev/null 2>&1 &
  _WINE_XVFB_PID=$!
  local i number=""
  for i in $(seq 100); do
    number=$(tr -dc 0-9 <"$fd_file")
    [ -n "$number" ] && break
    kill -0 "$_WINE_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fd_file"
  if [ -z "$number" ]; then
    _wine_log "Xvfb did not start"
    wine_stop_display
    return 1
  fi
  export DISPLAY=":$number"
  _wine_log "Xvfb on $DISPLAY in $(_wine_took "$start") s"
}

wine_stop_display() {
  [ -n "${_WINE_XVFB_PID:-}" ] || return 0
  kill "$_WINE_XVFB_PID" 2>/dev/null || true
  wait "$_WINE_XVFB_PID" 2>/dev/null || true
  _WINE_XVFB_PID=
}

wine_link_drive() {
  local letter image
  letter=$(printf '%s' "${1:?wine_link_drive LETTER IMAGE}" | tr 'A-Z' 'a-z')
  image=${2:?wine_link_drive LETTER IMAGE}
  [ -n "${WINEPREFIX:-}" ] || { _wine_log "wine_setup first"; return 1; }
  local devices="$WINEPREFIX/dosdevices"
  # "x::" is the raw device behind \\.\X:; "x:" (any folder) makes the drive
  # exist for GetLogicalDrives.
  mkdir -p "$image.root"
  ln -sfn "$image" "$devices/$letter::"
  ln -sfn "$image.root" "$devices/$letter:"
}

wine_restart_server() {
  if "$WINESERVER" -k >/dev/null 2>&1; then "$WINESERVER" -w >/dev/null 2>&1 || true; fi
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || { _wine_log "wineserver -p failed"; return 1; }
  "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_cleanup() {
  wine_stop_server
  wine_stop_display
}

run_windows_tests() (
  local build_dir=${1:?run_windows_tests BUILD_DIR SOURCE_DIR}
  local source_dir=${2:?run_windows_tests BUILD_DIR SOURCE_DIR}
  source_dir=$(cd "$source_dir" && pwd) || return 1
  mkdir -p "$build_dir" && build_dir=$(cd "$build_dir" && pwd) || return 1
  trap wine_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  local all step
  all=$(_wine_now)
  step=$all
  . "$source_dir/scripts/lib/tinyxml.sh"
  local tinyxml
  tinyxml=$(tinyxml_source "$build_dir/tinyxml-source") ||
    { _wine_log "could not fetch TinyXML's source package"; return 1; }
  cmake -S "$source_dir" -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DSALVOR_TINYXML_SOURCE_DIR="$tinyxml" </dev/null || return 1
  _wine_log "configure: $(_wine_took "$step") s"

  step=$(_wine_now)
  ninja -C "$build_dir" -j"${SALVOR_JOBS:-2}" </dev/null || return 1
  _wine_log "build: $(_wine_took "$step") s"

  step=$(_wine_now)
  wine_setup "$build_dir" || return 1
  # The raw-volume test writes this image and reads it back as \\.\X:.
  export SALVOR_RAW_VOLUME_IMAGE="$build_dir/test-tmp/raw-volume-x.img"
  mkdir -p "$build_dir/test-tmp"
  wine_link_drive X "$SALVOR_RAW_VOLUME_IMAGE" || return 1
  wine_start_server || return 1
  wine_start_display || return 1
  _wine_log "Wine prefix, server and display: $(_wine_took "$step") s"

  step=$(_wine_now)
  local rc=0
  # One test at a time: some tests restart the wineserver to change drives.
  (cd "$build_dir" && ctest --output-on-failure --timeout 300 </dev/null) || rc=$?
  _wine_log "tests under Wine: $(_wine_took "$step") s (ctest exit $rc)"
  _wine_log "Windows build and tests: $(_wine_took "$all") s"
  return "$rc"
)
