#!/usr/bin/env bash
# ambgui-screenshot.sh BUILD_DIR OUT.png [--select NAME] [--view 0|1|2] [--personal] [--size WxH]
#                      [--dialog COMMAND [--press ID]... [--post ID]... [--file PATH]...]
#
# A PNG of Ambgui's main window (sim build) with a populated list and the
# details pane of the selected row, for a person to look at. Uses the build
# dir's test prefix and a private X server; the world is a small demo computer
# unless AMBRELLE_SIM_DIR names one. Needs the targets Ambgui_sim, AmbSimCtl and
# ambgui_shot built in BUILD_DIR.
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
mkdir -p "$(dirname "$out")"
rm -f "$out"

export AMB_WINEPREFIX="$build/wineprefix"
export AMB_BIN_DIR="$build/bin" AMB_SIM_BIN_DIR="$build/bin/sim"
"$source_dir/tests/bed/prefix.sh" setup "$AMB_WINEPREFIX" "$build/netmsg/netmsg.dll"
display_file=$(mktemp)
cleanup() {
  "$source_dir/tests/bed/xvfb.sh" stop "$display_file" || true
  rm -f "$display_file"
}
trap cleanup EXIT
"$source_dir/tests/bed/xvfb.sh" start "$display_file"
export AMB_DISPLAY_FILE="$display_file"
timeout 90 "$source_dir/tests/wine-run.sh" "$build/tests/bin/ambgui_shot.exe" "$out" "$@" \
  </dev/null | iconv -f CP932 -t UTF-8 || true
if [ ! -s "$out" ]; then
  echo "ambgui-screenshot: no picture was written" >&2
  exit 1
fi
echo "$out"
