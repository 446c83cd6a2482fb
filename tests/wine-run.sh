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
# Now and then Wine fails before any program code runs ("failed to map the
# shared user data", or an end within milliseconds with neither a byte of
# output nor a message, seen once in a full run); such a start did nothing
# that a test could see, so it is safe to try again.
errors=$(mktemp)
output=$(mktemp)
trap 'rm -f "$errors" "$output"' EXIT
for attempt in 1 2 3; do
  wine "$@" 2>"$errors" | tee "$output"
  status=${PIPESTATUS[0]}
  cat "$errors" >&2
  if [ "$status" -ne 0 ] && grep -q 'failed to map the shared user data' "$errors"; then
    echo "wine-run: Wine failed to start (attempt $attempt); starting again" >&2
    continue
  fi
  if [ "$status" -ne 0 ] && [ "$attempt" -lt 3 ] && [ ! -s "$errors" ] && [ ! -s "$output" ]; then
    echo "wine-run: Wine ended with $status and no output (attempt $attempt); starting again" >&2
    continue
  fi
  break
done
exit "$status"
