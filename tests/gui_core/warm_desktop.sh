#!/usr/bin/env bash
# warm_desktop.sh TEST_EXE: runs the desktop test until windows open (at most
# about a minute), so that the window tests that follow find a working desktop.
set -u
for attempt in $(seq 40); do
  if "$WINE_RUN" "$1" --gtest_filter=DesktopTest.TopLevelWindowsOpen >/dev/null 2>&1; then
    echo "windows open after $attempt attempt(s)"
    exit 0
  fi
  sleep 1
done
echo "windows still fail to open" >&2
exit 1
