#!/usr/bin/env bash
# warm_desktop.sh TEST_EXE: runs the desktop probe until windows open, so that
# the window tests that follow find a working desktop. On a freshly booted
# prefix that takes as long as display-less Wine programs (the Ambcmd tests)
# keep running beside it: up to about three minutes.
set -u
for attempt in $(seq 180); do
  if "$WINE_RUN" "$1" --gtest_filter=DesktopTest.TopLevelWindowsOpen >/dev/null 2>&1; then
    echo "windows open after $attempt attempt(s)"
    exit 0
  fi
  sleep 1
done
echo "windows still fail to open" >&2
exit 1
