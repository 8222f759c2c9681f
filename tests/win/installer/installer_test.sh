#!/usr/bin/env bash
# The installer under Wine, as a scripted install would use it: a silent
# install into Program Files, the installed Salvor.exe started from there
# (installer_probe.exe checks its window and version), then the silent
# uninstaller, after which nothing of Salvor may be left: files, folder,
# shortcut, registry keys. The program is run before uninstalling so that
# the settings it writes beside itself are there to be removed.
#
#   installer_test.sh EMULATOR SETUP_EXE PROBE_EXE VERSION WORK_DIR
#
# EMULATOR is the cross build's emulator command, its words joined by "|".
set -u
emulator=${1:?EMULATOR}
setup=${2:?SETUP_EXE}
probe=${3:?PROBE_EXE}
version=${4:?VERSION}
work=${5:?WORK_DIR}
IFS='|' read -r -a run <<<"$emulator"

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "SKIPPED: no Wine prefix (run through scripts/lib/wine.sh run_windows_tests)"
  exit 0
fi
export WINE=${WINE:-$(command -v wine || echo /usr/lib/wine/wine64)}
rm -rf "$work"
mkdir -p "$work"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

drive_c=$WINEPREFIX/drive_c
install_dir=$drive_c/Program\ Files/Salvor
install_win='C:\Program Files\Salvor'
program_key='HKLM\SOFTWARE\Salvor'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Salvor'

reg_value() {  # KEY NAME: the value's data, or nothing
  "$WINE" reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_key_exists() { "$WINE" reg query "$1" </dev/null >/dev/null 2>&1; }
# Files and folders named like the product anywhere on C:, Wine's own
# folders aside.
salvor_leftovers() {
  find "$drive_c" -path "$drive_c/windows" -prune -o -iname '*salvor*' -print 2>/dev/null
}
shortcuts() {
  find "$drive_c" -path "$drive_c/windows" -prune -o -iname 'salvor*.lnk' -print 2>/dev/null
}

# A clean start: an earlier run (or the program itself, which stores its
# folder when the value is missing) may have left Salvor's key.
"$WINE" reg delete "$program_key" /f </dev/null >/dev/null 2>&1
if [ -x "$install_dir/Uninstall.exe" ] || [ -e "$install_dir" ]; then
  echo "note: removing an earlier installation"
  "${run[@]}" "$install_dir/Uninstall.exe" /S "_?=$install_win" </dev/null >/dev/null 2>&1
  rm -rf "$install_dir"
fi
before=$(salvor_leftovers)

size=$(stat -c %s "$setup")
echo "installer: $(basename "$setup"), $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.2f", s / 1048576 }') MiB)"

# Silent install.
"${run[@]}" "$setup" /S </dev/null
rc=$?
[ $rc -eq 0 ] && ok "silent install exited 0" || fail "silent install exited $rc"
for f in Salvor.exe Gleaner.dll Surveyor.dll Uninstall.exe img/Drives.bmp img/disk.png \
         language/English/language.ini language/Deutsch/language.ini; do
  [ -f "$install_dir/$f" ] || fail "not installed: $f"
done
ok "installed files: $(cd "$install_dir" && find . -type f | wc -l)"
[ "$(reg_value "$program_key" 'Install Path')" = "$install_win\\" ] &&
  ok "Install Path = $install_win\\" || fail "Install Path is '$(reg_value "$program_key" 'Install Path')'"
[ "$(reg_value "$uninstall_key" DisplayName)" = Salvor ] &&
  [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] &&
  [ "$(reg_value "$uninstall_key" UninstallString)" = "\"$install_win\\Uninstall.exe\"" ] &&
  ok "Add/Remove Programs entry" || fail "Add/Remove Programs entry incomplete"
lnk=$(shortcuts)
case "$lnk" in
  *"/Start Menu/Programs/Salvor.lnk") ok "Start-menu shortcut ${lnk#"$drive_c"}" ;;
  *) fail "no Start-menu shortcut (found: '$lnk')" ;;
esac

# The installed program, started in its folder as the shortcut starts it.
# While it runs, the uninstaller (run in place, so that it is waited for)
# must refuse rather than remove half of it.
"${run[@]}" "$probe" "$install_win\\Salvor.exe" "$version.0" "Z:$work/installed.bmp" \
  "\"$install_win\\Uninstall.exe\" /S _?=$install_win" </dev/null ||
  fail "the installed program (see above)"
[ -f "$install_dir/Salvor.exe" ] && [ -f "$install_dir/Uninstall.exe" ] &&
  ok "the uninstaller left a running Salvor.exe alone" || fail "the uninstaller removed files of a running program"
[ -f "$install_dir/setting.ini" ] && ok "the program wrote setting.ini beside itself" ||
  fail "no setting.ini after the program ran"
# The file-type page's settings, as the program keeps them in its folder.
printf '[CONFIG]\r\n8000=1\r\n' >"$install_dir/KVN.ini"

# Silent uninstall. The uninstaller copies itself away and returns at once;
# its copy removes the folder, so wait for that.
"${run[@]}" "$install_dir/Uninstall.exe" /S </dev/null
for _ in $(seq 120); do
  [ -e "$install_dir" ] || break
  sleep 0.5
done
[ -e "$install_dir" ] && fail "left behind: $(cd "$install_dir" && find . | tr '\n' ' ')" ||
  ok "the folder $install_win is gone"
reg_key_exists "$program_key" && fail "left behind: $program_key" || ok "$program_key is gone"
reg_key_exists "$uninstall_key" && fail "left behind: $uninstall_key" || ok "the Add/Remove Programs entry is gone"
[ -z "$(shortcuts)" ] && ok "the shortcut is gone" || fail "left behind: $(shortcuts)"
after=$(salvor_leftovers)
[ "$after" = "$before" ] && ok "no file or folder named Salvor on C: (outside Windows)" ||
  fail "left behind: $(comm -13 <(printf '%s\n' "$before") <(printf '%s\n' "$after") | tr '\n' ' ')"
"$WINE" regedit /E "Z:$work/registry.reg" 'HKEY_LOCAL_MACHINE\Software' </dev/null >/dev/null 2>&1
if [ -s "$work/registry.reg" ]; then
  # regedit writes UTF-16.
  hits=$(iconv -f UTF-16 -t UTF-8 "$work/registry.reg" 2>/dev/null | grep -ci 'salvor')
  [ "$hits" = 0 ] && ok "no mention of Salvor under HKLM\\Software" ||
    fail "HKLM\\Software still mentions Salvor $hits times"
else
  fail "could not export HKLM\\Software"
fi

[ $failures -eq 0 ] && echo "installer test passed" || echo "installer test: $failures failures"
exit $((failures != 0))
