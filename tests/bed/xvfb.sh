#!/usr/bin/env bash
# xvfb.sh start|stop FILE [WxH]: a private X server for the tests that need a
# display, 1280x1024 unless WxH says otherwise. start writes the display name to
# FILE; AMBRELLE_TEST_DISPLAY names an existing display to use instead.
set -eu
action=$1
file=$2
screen=${3:-1280x1024}
pidfile="$file.pid"
case "$action" in
  start)
    if [ -n "${AMBRELLE_TEST_DISPLAY:-}" ]; then
      echo "$AMBRELLE_TEST_DISPLAY" >"$file"
      exit 0
    fi
    for n in $(seq 90 190); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        echo "$pid" >"$pidfile"
        echo ":$n" >"$file"
        exit 0
      fi
    done
    echo "no free display for Xvfb" >&2
    exit 1
    ;;
  stop)
    if [ -s "$pidfile" ]; then
      kill "$(cat "$pidfile")" 2>/dev/null || true
      rm -f "$pidfile"
    fi
    rm -f "$file"
    ;;
  *) echo "usage: xvfb.sh start|stop FILE" >&2; exit 2 ;;
esac
