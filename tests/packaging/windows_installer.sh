#!/usr/bin/env bash
# The Windows setup under wine, as an administrator would run it: a silent install, the
# installed tavorin-cli.exe found on the PATH, a silent uninstall, and then nothing left of it:
# no file outside the temporary folders, no registry value, the PATH as it was. Then again with
# the PATH to be left as it was: by /NOPATH, and when it cannot hold the folder.
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

path_before=$(value "$environment_key" Path)
state >before.txt
installed="drive_c/Program Files/Tavorin"
# Rounds: the folder added to the PATH; /NOPATH; PATHs that cannot hold it (1023 characters),
# one that would be cut when written back and one that reads as nothing at all.
for round in added /NOPATH 998 1024; do
  path=$path_before args=()
  case $round in
  /NOPATH) args=(/NOPATH) ;;
  [0-9]*)
    while [ ${#path} -lt "$round" ]; do path="$path;C:\\Tools\\folder ${#path}"; done
    run reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$path" /f >/dev/null || fail "reg add failed" ;;
  esac
  run "$setup" /S "${args[@]}" || fail "setup.exe /S ${args[*]} failed"
  for file in tavorin-cli.exe LICENSE.txt README.txt "Uninstall Tavorin.exe"; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
  done
  [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "no DisplayVersion $version in Apps and Features"
  [ -n "$(value "$uninstall_key" Publisher)" ] || fail "no Publisher in Apps and Features"
  if [ "$round" = added ]; then
    [ "$(value "$environment_key" Path)" = "$path_before;C:\\Program Files\\Tavorin" ] ||
      fail "the PATH is not the old one and the install folder: $(value "$environment_key" Path)"
    # A new process takes the PATH from the registry.
    got=$(run cmd /c "tavorin-cli --version" | tr -d '\r')
    [ "$got" = "tavorin-cli $version" ] || fail "tavorin-cli --version on the PATH printed '$got'"
  else
    [ "$(value "$environment_key" Path)" = "$path" ] || fail "Setup changed the PATH ($round)"
  fi
  if [ -f "$installed/tavorin.exe" ]; then
    [ -f "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavorin.lnk" ] || fail "no Start-menu shortcut"
  fi

  # The uninstaller starts a copy of itself from the temporary folder and ends at once.
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
  [ "$(value "$environment_key" Path)" = "$path" ] || fail "the PATH is not what it was ($round)"
done
echo "windows_installer: installed, ran tavorin-cli $version from the PATH, uninstalled, nothing left;" \
  "with /NOPATH and with PATHs that cannot hold the folder, the PATH was left as it was"
