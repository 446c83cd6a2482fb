#!/usr/bin/env bash
# The demo: Ambrelle's main job on a fresh simulated computer. Called by
# `./ambrelle demo` with the world already reset; shows what exists.
set -euo pipefail
ROOT=$1
BUILD=$2
amb() { "$ROOT/ambrelle" "$@"; }
step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

step "The simulated computer"
amb sim dump | python3 -c '
import json, sys
world = json.load(sys.stdin)
print("computer", world["computer"], world["sid"])
print("  users :", ", ".join(u["name"] for u in world["users"]))
print("  groups:", ", ".join(g["name"] for g in world["groups"]))
'

step "Ambcmd: add a user, put it in a group, show its details"
# The first run shows the banner; "/s" after the fourth argument silences the rest.
printf '\n$ Ambcmd /user /add hanako "山田 花子"\n'
amb cmd /user /add hanako "山田 花子" || true
for args in '/group /add 経理部 "経理部の共有フォルダー用"' \
            '/user /setgroup hanako "経理部;Remote Desktop Users"' \
            '/user hanako' \
            '/group 経理部'; do
  printf '\n$ Ambcmd %s\n' "$args"
  eval "amb cmd $args /s" || true
done

if [ -f "$BUILD/bin/sim/Ambgui.exe" ]; then
  step "Ambgui: the main window"
  shot="${AMBRELLE_DEMO_SCREENSHOT:-$BUILD/demo-ambgui.png}"
  if problems=$(amb gui --screenshot "$shot" --select hanako 2>&1 >/dev/null); then
    echo "screenshot of the main window: $shot"
  else
    echo "no screenshot could be taken: $(tail -n 1 <<<"$problems")"
    echo "(./ambrelle gui --screenshot $shot shows the whole story)"
  fi
  if [ -n "${DISPLAY:-}" ] && [ -t 0 ]; then
    echo "opening Ambgui on $DISPLAY (close the window to end the demo)"
    amb gui || true
  fi
fi
