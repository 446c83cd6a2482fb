#!/usr/bin/env bash
# ambgui-screenshot.sh BUILD_DIR OUT.png [--select NAME] [--view 0|1|2] [--personal] [--size WxH]
#                      [--dpi 96|120|144|192]
#                      [--dialog COMMAND [--press ID]... [--post ID]... [--file PATH]...]
#
# A PNG of Ambgui's main window (sim build) with a populated list and the
# details pane of the selected row, for a person to look at. Uses the build
# dir's test prefix and a private X server; the world is a small demo computer
# unless AMBRELLE_SIM_DIR names one. Needs the targets Ambgui_sim, AmbSimCtl and
# ambgui_shot built in BUILD_DIR.
#
# With --dpi N the picture is taken at display scale N, in a prefix of its own
# (BUILD_DIR/wineprefix-dpi: the scale is the prefix's, and the test prefix is
# shared by tests running beside this), on an X screen grown with the scale.
set -eu
if [ $# -lt 2 ]; then
  sed -n '2,10p' "$0" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
out=$(realpath -m "$2")
shift 2
dpi=
previous=
for arg in "$@"; do
  [ "$previous" = "--dpi" ] && dpi=$arg
  previous=$arg
done
case "$dpi" in
  '' | 96 | 120 | 144 | 192) ;;
  *) echo "ambgui-screenshot: --dpi takes 96, 120, 144 or 192" >&2; exit 2 ;;
esac
mkdir -p "$(dirname "$out")"
rm -f "$out"

export AMB_BIN_DIR="$build/bin" AMB_SIM_BIN_DIR="$build/bin/sim"
export AMB_WINEPREFIX="$build/wineprefix"
[ -n "$dpi" ] && AMB_WINEPREFIX="$build/wineprefix-dpi"
"$source_dir/tests/bed/prefix.sh" setup "$AMB_WINEPREFIX" "$build/netmsg/netmsg.dll"

# Sets the display scale of the prefix. A running Wine server and the
# programs of its desktops keep the scale they started with: it is ended
# before and after.
set_dpi() {
  (
    export WINEPREFIX=$AMB_WINEPREFIX WINEDEBUG=-all
    wineserver -k 2>/dev/null || true
    DISPLAY= wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
      >/dev/null 2>&1
    wineserver -w
  )
}
display_file=$(mktemp)
cleanup() {
  "$source_dir/tests/bed/xvfb.sh" stop "$display_file" || true
  rm -f "$display_file"
  if [ -n "$dpi" ]; then
    set_dpi 96
  fi
}
trap cleanup EXIT
screen=1280x1024
if [ -n "$dpi" ]; then
  set_dpi "$dpi"
  screen="$((1280 * dpi / 96))x$((1024 * dpi / 96))"
fi
"$source_dir/tests/bed/xvfb.sh" start "$display_file" "$screen"
export AMB_DISPLAY_FILE="$display_file"
# A start whose virtual desktop did not come up (exit 3) is tried once more:
# another start gets a screen.
for attempt in 1 2; do
  set +e
  timeout 90 "$source_dir/tests/wine-run.sh" "$build/tests/bin/ambgui_shot.exe" "$out" "$@" \
    </dev/null | iconv -f CP932 -t UTF-8
  status=${PIPESTATUS[0]}
  set -e
  [ "$status" -eq 3 ] && [ "$attempt" -eq 1 ] || break
  echo "ambgui-screenshot: starting again" >&2
done
if [ ! -s "$out" ]; then
  echo "ambgui-screenshot: no picture was written" >&2
  exit 1
fi
echo "$out"
