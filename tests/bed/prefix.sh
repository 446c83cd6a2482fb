#!/usr/bin/env bash
# prefix.sh setup|cleanup PREFIX [NETMSG_DLL]: the private Wine prefix of a test
# run. Setup boots it once (later runs reuse it), puts the stand-in network
# message file (Wine has none) into its system folder and keeps its wineserver
# alive for the run, so that each test program starts in well under a second.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# True while a desktop process of this prefix runs without a display. The
# trivial start below leaves one for about half a second after it ends; a
# program with a display that starts meanwhile never gets a screen of its own
# (its virtual desktop does not come up in 20 s, its screen cannot be read:
# the first screenshot after a new Wine server failed so every time).
displayless_desktop_running() {
  local pid environment
  for pid in $(pgrep -u "$(id -u)" -f 'explorer\.exe /desktop' 2>/dev/null); do
    environment=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null) || continue
    grep -qxF "WINEPREFIX=$WINEPREFIX" <<<"$environment" || continue
    grep -q '^DISPLAY=.' <<<"$environment" || return 0
  done
  return 1
}

wait_for_displayless_desktop() {
  local tries
  for tries in $(seq 100); do
    displayless_desktop_running || return 0
    sleep 0.1
  done
}

case "$action" in
  setup)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
      DISPLAY= wineboot -i >/dev/null 2>&1
      # Let the boot's server and its desktop process end: a desktop process
      # started without a display stays for the server's life, and windows of
      # the tests then open on new desktops only after long waits.
      wineserver -w
    fi
    # Caption buttons need Marlett, which this Wine does not find by itself.
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
      cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
    netmsg=${3:-}
    if [ -n "$netmsg" ] && [ -f "$netmsg" ]; then
      cp -f "$netmsg" "$WINEPREFIX/drive_c/windows/system32/netmsg.dll"
    fi
    wineserver -p 120 </dev/null >/dev/null 2>&1 || true
    # A trivial start proves the prefix answers.
    DISPLAY= wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    wait_for_displayless_desktop
    ;;
  cleanup)
    wineserver -k 2>/dev/null || true
    ;;
  *) echo "usage: prefix.sh setup|cleanup PREFIX [NETMSG_DLL]" >&2; exit 2 ;;
esac
