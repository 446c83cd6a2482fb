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
    ;;
  cleanup)
    wineserver -k 2>/dev/null || true
    ;;
  *) echo "usage: prefix.sh setup|cleanup PREFIX [NETMSG_DLL]" >&2; exit 2 ;;
esac
