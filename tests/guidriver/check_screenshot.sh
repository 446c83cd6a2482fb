#!/usr/bin/env bash
# Runs ambgui-screenshot.sh on the demo world and checks that a PNG of the
# expected size came out and that it is not blank.
set -eu
build=$1
out=$(mktemp -d)/ambgui.png
"$(dirname "$0")/ambgui-screenshot.sh" "$build" "$out" --size 900x640 >/dev/null
size=$(identify -format '%wx%h' "$out")
[ "$size" = "900x640" ] || { echo "picture is $size, expected 900x640" >&2; exit 1; }
colors=$(convert "$out" -format '%k' info:)
[ "$colors" -gt 20 ] || { echo "picture looks blank ($colors colours)" >&2; exit 1; }
echo "ok: $out ($size, $colors colours)"
