#!/usr/bin/env bash
# Runs ambgui-screenshot.sh on the demo world and checks that a PNG of the
# expected size came out and that it is not blank. It starts from a new Wine
# server, as a newcomer's first demo does (this test runs alone).
set -eu
build=$1
out=$(mktemp -d)/ambgui.png
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
WINEPREFIX="$build/wineprefix" wineserver -w 2>/dev/null || true
problems=$("$(dirname "$0")/ambgui-screenshot.sh" "$build" "$out" --size 900x640 2>&1 >/dev/null) || {
  echo "$problems" >&2
  exit 1
}
if grep -q 'starting again' <<<"$problems"; then
  echo "the first start got no screen: $problems" >&2
  exit 1
fi
size=$(identify -format '%wx%h' "$out")
[ "$size" = "900x640" ] || { echo "picture is $size, expected 900x640" >&2; exit 1; }
colors=$(convert "$out" -format '%k' info:)
[ "$colors" -gt 20 ] || { echo "picture looks blank ($colors colours)" >&2; exit 1; }
echo "ok: $out ($size, $colors colours)"
