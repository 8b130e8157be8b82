#!/usr/bin/env bash
# The Windows setup under wine, as an administrator would run it: a silent install, the
# installed tavorin-cli.exe found on the PATH, a silent uninstall, and then nothing left of it:
# no file outside the temporary folders, no registry value, the PATH as it was. Then twice more,
# with the PATH left as it was: chosen so (/NOPATH), and a PATH longer than Setup can hold,
# which it must not cut.
# Runs in a copy of the build's wine prefix, so that a failure leaves nothing behind in it.
# Usage: windows_installer.sh BUILD   (after scripts/windows-package BUILD)
set -euo pipefail
build=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/tavorin-$version-setup.exe
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX=$build/wine-install WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"
cp -a "$build/wine" "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
cd "$WINEPREFIX"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorin'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
fail() { echo "windows_installer: $*" >&2; exit 1; }

# Wine's services outlive each program: their output goes to a file, never to a pipe of ours.
run() { "$wine" "$@" </dev/null 2>>wine.log; }
value() { run reg query "$1" /v "$2" | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# The files of the prefix (the temporary folders aside) and every registry line that names
# Tavorin, once the server has written the registry out.
state() {
  "$wineserver" -w
  find drive_c -path '*/[Tt]emp' -prune -o -print | LC_ALL=C sort
  grep -i tavorin system.reg user.reg | grep -v '^#time' || true
}

# install ARGS...: setup.exe /S ARGS, and what it must always put in place.
install() {
  run "$setup" /S "$@" || fail "setup.exe /S $* failed"
  for file in tavorin-cli.exe LICENSE.txt README.txt "Uninstall Tavorin.exe"; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
  done
  [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "no DisplayVersion $version in Apps and Features"
  [ -n "$(value "$uninstall_key" Publisher)" ] || fail "no Publisher in Apps and Features"
  if [ -f "$installed/tavorin.exe" ]; then
    [ -f "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavorin.lnk" ] || fail "no Start-menu shortcut"
  fi
}
# uninstall PATH: the quiet uninstaller, then nothing left and the PATH as given.
uninstall() {
  # The uninstaller starts a copy of itself from the temporary folder and ends at once.
  local uninstaller
  uninstaller=$(value "$uninstall_key" QuietUninstallString)
  [ "$uninstaller" = '"C:\Program Files\Tavorin\Uninstall Tavorin.exe" /S' ] ||
    fail "QuietUninstallString is '$uninstaller'"
  run "C:\\Program Files\\Tavorin\\Uninstall Tavorin.exe" /S || fail "the uninstaller failed to start"
  for _ in $(seq 100); do
    [ -e "$installed" ] || break
    sleep 0.2
  done
  [ ! -e "$installed" ] || fail "the install folder is still there 20 s after uninstalling"
  state >after.txt
  diff -u before.txt after.txt >&2 || fail "left behind after uninstalling (above)"
  [ "$(value "$environment_key" Path)" = "$1" ] || fail "the PATH is not what it was"
}
installed="drive_c/Program Files/Tavorin"

path_before=$(value "$environment_key" Path)
state >before.txt
install
[ "$(value "$environment_key" Path)" = "$path_before;C:\\Program Files\\Tavorin" ] ||
  fail "the PATH is not the old one and the install folder: $(value "$environment_key" Path)"
# A new process takes the PATH from the registry.
got=$(run cmd /c "tavorin-cli --version" | tr -d '\r')
[ "$got" = "tavorin-cli $version" ] || fail "tavorin-cli --version on the PATH printed '$got'"
uninstall "$path_before"

install /NOPATH
[ "$(value "$environment_key" Path)" = "$path_before" ] || fail "/NOPATH changed the PATH"
uninstall "$path_before"

# A PATH that Setup cannot hold with its folder added (1023 characters): one that would be cut
# when written back, and one that reads as nothing at all.
for at_least in 998 1024; do
  long=$path_before
  while [ ${#long} -lt $at_least ]; do long="$long;C:\\Tools\\folder ${#long}"; done
  run reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$long" /f >/dev/null || fail "reg add Path failed"
  install
  [ "$(value "$environment_key" Path)" = "$long" ] || fail "Setup changed a PATH of ${#long} characters"
  [ -z "$(value "$uninstall_key" AddedToPath)" ] || fail "Setup marked a PATH it left alone as changed"
  uninstall "$long"
done
echo "windows_installer: installed, ran tavorin-cli $version from the PATH, uninstalled, nothing left;" \
  "the same with /NOPATH and with PATHs too long to hold the folder, all left as they were"
