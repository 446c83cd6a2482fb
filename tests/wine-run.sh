#!/usr/bin/env bash
# Runs a Windows program under Wine in the test bed's private prefix, with the
# Japanese locale, quiet Wine, and the test display when the test needs one.
set -u
: "${AMB_WINEPREFIX:?AMB_WINEPREFIX must name the test prefix}"
export WINEPREFIX="$AMB_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ -n "${AMB_DISPLAY_FILE:-}" ] && [ -s "$AMB_DISPLAY_FILE" ]; then
  DISPLAY="$(cat "$AMB_DISPLAY_FILE")"
  export DISPLAY
fi
exec wine "$@"
