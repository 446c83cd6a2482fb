#!/usr/bin/env bash
# installer_test.sh SOURCE BUILD: the installer built from the release build,
# installed silently into a fresh 64-bit Wine prefix of its own with a system
# PATH longer than an NSIS string, installed over itself, then uninstalled:
# files, shortcuts, registry, PATH and the user's own file checked at each step.
set -euo pipefail
src=$1
build=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/ambrelle-package-test.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 DISPLAY=
finish() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  "$@" || fail "$what"
}

"$src/tools/package.sh" "$src" "$build" --output "$work/out"
setup=$(echo "$work"/out/AmbrelleSetup-*.exe)
version=${setup##*AmbrelleSetup-}
version=${version%.exe}
help=
[ -f "$build/bin/Ambgui.chm" ] && help=1

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w

env_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ambrelle'
dir="$WINEPREFIX/drive_c/Program Files/Dunmarrow/Ambrelle"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Ambrelle"
win_dir='C:\Program Files\Dunmarrow\Ambrelle'

quietly() { "$@" >/dev/null 2>&1; }
absent_key() { ! wine reg query "$1" >/dev/null 2>&1; }
reg_value() { # reg_value KEY NAME: the data, or nothing when absent
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^    $2    REG_[A-Z_]*    //p"
}

installed_files=(Ambgui.exe Ambcmd.exe Amblift.exe Ambcore.dll)
shortcuts=(Ambgui.lnk Amblift.lnk)
if [ -n "$help" ]; then
  installed_files+=(Ambgui.chm)
  shortcuts+=("Ambrelle ヘルプ.lnk")
fi

check_installed() { # check_installed STEP EXPECTED-PATH
  local f
  for f in "${installed_files[@]}"; do
    check "$1: $f installed" cmp -s "$dir/$f" "$build/bin/$f"
  done
  check "$1: uninstaller" test -f "$dir/Uninstall.exe"
  for f in "${shortcuts[@]}"; do
    check "$1: shortcut $f" test -f "$menu/$f"
  done
  check "$1: Ambgui shortcut target" grep -qa "Ambgui.exe" "$menu/Ambgui.lnk"
  check "$1: DisplayName" test "$(reg_value "$uninst_key" DisplayName)" = Ambrelle
  check "$1: Publisher" test "$(reg_value "$uninst_key" Publisher)" = Dunmarrow
  check "$1: DisplayVersion" test "$(reg_value "$uninst_key" DisplayVersion)" = "$version"
  check "$1: InstallLocation" test "$(reg_value "$uninst_key" InstallLocation)" = "$win_dir"
  check "$1: UninstallString" test "$(reg_value "$uninst_key" UninstallString)" = "\"$win_dir\\Uninstall.exe\""
  check "$1: QuietUninstallString" test "$(reg_value "$uninst_key" QuietUninstallString)" = "\"$win_dir\\Uninstall.exe\" /S"
  check "$1: DisplayIcon" test "$(reg_value "$uninst_key" DisplayIcon)" = "$win_dir\\Ambgui.exe,0"
  check "$1: NoModify" test "$(reg_value "$uninst_key" NoModify)" = 0x1
  check "$1: NoRepair" test "$(reg_value "$uninst_key" NoRepair)" = 0x1
  check "$1: EstimatedSize" test "$(($(reg_value "$uninst_key" EstimatedSize)))" -gt 500
  check "$1: PATH" test "$(reg_value "$env_key" Path)" = "$2"
}

path=$(reg_value "$env_key" Path)
check "silent install" wine "$setup" /S /PATH
check_installed "install" "$path;$win_dir"
# A new prompt finds Ambcmd through PATH. (Wine cuts a process's PATH at about
# 1000 characters, so this runs before the PATH grows long.)
check "Ambcmd /? from PATH" quietly wine cmd /c Ambcmd /?

# A PATH far beyond the 1024 characters of an NSIS string, with the entry in
# its middle: the update takes the entry out and puts it at the end, the
# uninstaller takes it out again, and nothing else may change.
long="$path"
for i in $(seq 20); do long="$long;C:\\Tools\\Vendor Folder With A Long Name $i\\bin"; done
more=
for i in $(seq 20); do more="$more;D:\\Vendor Two\\Folder With A Long Name $i"; done
wine reg add "$env_key" /v Path /t REG_EXPAND_SZ /d "$long;$win_dir$more" /f >/dev/null

# What the user makes in the folder survives an update and the uninstaller.
echo "user's note" >"$dir/メモ.txt"
check "silent install over the installed one" wine "$setup" /S
check_installed "reinstall" "$long$more;$win_dir"
check "reinstall keeps the user's file" test -f "$dir/メモ.txt"

check "silent uninstall" wine "$dir/Uninstall.exe" /S
# The uninstaller runs on from a copy of itself: wait for it to end.
wineserver -w
check "uninstall leaves only the user's file" test "$(ls -A "$dir")" = "メモ.txt"
check "uninstall removes the Start menu folder" test ! -e "$menu"
check "uninstall removes the uninstall entry" absent_key "$uninst_key"
check "uninstall takes out only its PATH entry" test "$(reg_value "$env_key" Path)" = "$long$more"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installer $version: install, reinstall and uninstall checked"
