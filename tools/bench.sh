#!/usr/bin/env bash
# ./ambrelle bench [--scale] [--users N] [--groups N] [--runs N] [--large N] [--calls N]
#                  [--computers N] [--slow-users N] [--slow-groups N] [--import-users N]
#                  [--lab-users N]
# --scale: the same rows for a large computer (10,000 users, 200 groups, 2 runs;
# the import stays at 1,000 new users, since every simulated write stores all
# of that computer's accounts and its bare calls alone would take many minutes).
# Builds its simulated worlds in a temporary folder and prints one table of
# ratios, each measured side by side in this run against a bare program that
# makes only the platform calls needed (bin/sim/AmbBench.exe):
#   Ambcmd runs (whole-process time, median of alternating runs);
#   Ambcmd on several remote computers (--computers, 50 ms round trip each)
#   against as many rounds of one computer as 8 at a time need, also under
#   another account (/as:, a connection per computer);
#   the list refresh (command 40015) in-process, built-in accounts hidden and
#   shown, with the platform calls per row; the same refresh and the account
#   report of a remote computer with a simulated round trip of 2 ms, and of a
#   smaller one (--slow-users, --slow-groups) at 20 ms, against their calls x
#   round trip; the cost of one call on an unchanged store with a small and a
#   large world.
set -eu
ROOT=$1
BUILD=$2
shift 2
USERS=1000 NGROUPS=50 RUNS=5 SMALL=100 LARGE=10000 CALLS=2000 LATENCY=2 COMPUTERS=32
SLOW_USERS=200 SLOW_GROUPS=20 SLOW_LATENCY=20 IMPORT_USERS= LAB_USERS=140
while [ $# -gt 0 ]; do
  case "$1" in
    --scale) USERS=10000 NGROUPS=200 RUNS=2 IMPORT_USERS=1000; shift; continue ;;
    --import-users) IMPORT_USERS=$2 ;;
    --lab-users) LAB_USERS=$2 ;;
    --users) USERS=$2 ;;
    --groups) NGROUPS=$2 ;;
    --runs) RUNS=$2 ;;
    --large) LARGE=$2 ;;
    --calls) CALLS=$2 ;;
    --computers) COMPUTERS=$2 ;;
    --slow-users) SLOW_USERS=$2 ;;
    --slow-groups) SLOW_GROUPS=$2 ;;
    *) echo "usage: ambrelle bench [--scale] [--users N] [--groups N] [--runs N] [--large N]" \
         "[--calls N] [--computers N] [--slow-users N] [--slow-groups N] [--import-users N]" \
         "[--lab-users N]" >&2
       exit 2 ;;
  esac
  shift 2
done
IMPORT_USERS=${IMPORT_USERS:-$USERS}

SIM="$BUILD/bin/sim"
DATA="${XDG_DATA_HOME:-$HOME/.local/share}/ambrelle"
export WINEPREFIX="${AMB_WINEPREFIX:-${AMBRELLE_WINEPREFIX:-$DATA/wineprefix}}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ -n "${AMB_DISPLAY_FILE:-}" ] && [ -s "$AMB_DISPLAY_FILE" ]; then
  DISPLAY="$(cat "$AMB_DISPLAY_FILE")"
  export DISPLAY
fi
WORK="$(mktemp -d /tmp/ambrelle-bench.XXXXXX)"
XVFB_PID=
# Wine's desktop process stays on the display it started with: let this
# prefix's Wine server end before a private display goes, or the next program
# in the prefix could open no window.
stop_display() {
  [ -n "$XVFB_PID" ] || return 0
  timeout 60 wineserver -w 2>/dev/null
  kill "$XVFB_PID" 2>/dev/null
}
trap 'stop_display; rm -rf "$WORK"' EXIT
# The refresh fills a real list-view: without a display, a private X server.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    break
  done
fi

INPUT=/dev/null # standard input of the programs run
in_world() { # WORLD PROGRAM ARGS...
  local world=$1
  shift
  AMBRELLE_SIM_DIR="$WORK/$world" wine "$@" <"$INPUT"
}
sim() { # WORLD ARGS...: a failed set-up step is said before the bench stops
  local world=$1
  shift
  in_world "$world" "$SIM/AmbSimCtl.exe" "$@" >/dev/null ||
    { echo "bench: AmbSimCtl $* failed in world $world" >&2; return 1; }
}
# A remote computer as Windows 11 sets it up, reached as Windows allows: its
# built-in Administrator enabled and stored as the session's credential for it
# (cmdkey /add:NAME /user:NAME\Administrator).
reachable_computer() { # WORLD NAME [OPTIONS...]
  local world="$1" name="$2"
  shift 2
  sim "$world" computer add "$name" "$@"
  sim "$world" user set Administrator --enable --password 'Adm1n!pw' --computer "$name"
  sim "$world" credential add "$name" --user "$name\Administrator" --password 'Adm1n!pw'
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
row() { printf '%-48s %10s %10s %7s  %s\n' "$@"; }
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p"; }

# Ambcmd against its bare calls: whole processes, alternately.
sim cmd reset
sim cmd user add benchu
sim cmd group add benchg
in_world cmd "$SIM/Ambcmd.exe" /user benchu >/dev/null # the Wine server is warm from here
compare_cmd() { # LABEL AMBCMD-ARGS -- BARE-ARGS (NAME in both replaced by a fresh name per run)
  local label=$1 i t a=() b=()
  shift
  local split=0 cmd=() bare=()
  for x in "$@"; do
    if [ "$x" = -- ]; then split=1; elif [ $split = 0 ]; then cmd+=("$x"); else bare+=("$x"); fi
  done
  for i in $(seq "$RUNS"); do
    t=$(now_ms); in_world cmd "$SIM/Ambcmd.exe" "${cmd[@]//NAME/c$i}" >/dev/null; a+=($(($(now_ms) - t)))
    t=$(now_ms); in_world cmd "$SIM/AmbBare.exe" "${bare[@]//NAME/b$i}" >/dev/null; b+=($(($(now_ms) - t)))
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  row "$label" "$ma ms" "$mb ms" "$(awk -v a="$ma" -v b="$mb" 'BEGIN { printf "%.2fx", a / b }')" ""
}

echo "Ambrelle bench: $USERS users, $NGROUPS groups, $RUNS runs each, $(nproc) cores"
echo
row "measurement" "Ambrelle" "bare" "ratio" "notes"
compare_cmd "Ambcmd /user NAME (process)" /user benchu -- user benchu
compare_cmd "Ambcmd /user /add NAME (process)" /user /add NAME -- useradd NAME
compare_cmd "Ambcmd /group NAME (process)" /group benchg -- group benchg

# The list refresh, local and remote (round trip $LATENCY ms).
sim list reset
sim list users add-many "$USERS" --prefix bench
reachable_computer list SRV01
sim list users add-many "$USERS" --prefix bench --computer SRV01
sim list groups add-many "$NGROUPS" --prefix team
sim list groups add-many "$NGROUPS" --prefix team --computer SRV01
refresh_rows() { # LABEL SERVER LATENCY [BARE_RUNS] [WORLD]
  local label=$1 line
  in_world "${5:-list}" "$SIM/AmbBench.exe" refresh "$2" "$RUNS" "$3" "${4:-$RUNS}" |
    tr -d '\r' >"$WORK/refresh.txt"
  while read -r line; do
    local which calls
    which=$(echo "$line" | field builtin)
    calls="$(echo "$line" | field calls) calls, bare $(echo "$line" | field bare_calls);"
    calls="$calls $(echo "$line" | field calls_per_user_row)/user row,"
    calls="$calls $(echo "$line" | field lookups_per_group) lookup/group;"
    calls="$calls list-view alone $(echo "$line" | field list_ms) ms"
    row "$label, built-ins $which" "$(echo "$line" | field ambgui_ms) ms" \
      "$(echo "$line" | field bare_ms) ms" "$(echo "$line" | field ratio)x" "$calls"
    if [ "$3" != 0 ]; then
      row "  against calls x round trip" "$(echo "$line" | field ambgui_ms) ms" \
        "$(echo "$line" | field floor_ms) ms" "$(echo "$line" | field floor_ratio)x" \
        "$(echo "$line" | field bare_calls) x $3 ms"
    fi
  done <"$WORK/refresh.txt"
}
# The account report of a remote computer: Ambrelle (calls a few at a time)
# against its calls x round trip, and the same report with its calls made one
# after the other.
report_rows() { # LABEL SERVER LATENCY WORLD
  local line
  line=$(in_world "$4" "$SIM/AmbBench.exe" report "$2" "$RUNS" "$3" | tr -d '\r')
  row "$1" "$(echo "$line" | field ambgui_ms) ms" "$(echo "$line" | field floor_ms) ms" \
    "$(echo "$line" | field floor_ratio)x" \
    "$(echo "$line" | field calls) calls x $3 ms; one at a time $(echo "$line" | field sequential_ms) ms"
}
refresh_rows "refresh (40015), local" - 0
sim list computer set SRV01 --latency-ms "$LATENCY"
refresh_rows "refresh (40015), remote ${LATENCY} ms" SRV01 "$LATENCY"
report_rows "report, remote ${LATENCY} ms, against calls x round trip" SRV01 "$LATENCY" list

# A smaller computer behind a slow link: the bare calls, one after the other,
# are timed once.
sim slow reset
reachable_computer slow SRV02
sim slow users add-many "$SLOW_USERS" --prefix bench --computer SRV02
sim slow groups add-many "$SLOW_GROUPS" --prefix team --computer SRV02
sim slow computer set SRV02 --latency-ms "$SLOW_LATENCY"
label="refresh (40015), remote ${SLOW_LATENCY} ms, $SLOW_USERS users"
refresh_rows "$label" SRV02 "$SLOW_LATENCY" 1 slow
report_rows "report, remote ${SLOW_LATENCY} ms, $SLOW_USERS users, against calls x round trip" \
  SRV02 "$SLOW_LATENCY" slow

# The import: $IMPORT_USERS new users into 20 groups on fresh worlds, against
# the same platform calls made bare.
line=$(in_world list "$SIM/AmbBench.exe" import "$IMPORT_USERS" 20 "$RUNS" | tr -d '\r')
row "import of $IMPORT_USERS new users into 20 groups" "$(echo "$line" | field import_ms) ms" \
  "$(echo "$line" | field bare_ms) ms" "$(echo "$line" | field ratio)x" \
  "read, check, plan, apply; failed rows $(echo "$line" | field failed)"

# Several computers with a 50 ms round trip each, run 8 at a time, against as
# many rounds of one computer (32 computers: 4 rounds; the goal: at most 1.25x).
ROUND_TRIP=50 REMOTE_RUNS=$((RUNS < 3 ? RUNS : 3)) ROUNDS=$(((COMPUTERS + 7) / 8))
sim many reset
: >"$WORK/pcs.txt"
for i in $(seq -f '%02g' "$COMPUTERS"); do
  reachable_computer many "PC$i" --latency-ms "$ROUND_TRIP"
  sim many user add benchu --computer "PC$i"
  echo "PC$i" >>"$WORK/pcs.txt"
done
# /as: connects as the same enabled built-in Administrator that the stored
# credential names (a second password would leave the credential stale: 1326).
echo 'Adm1n!pw' >"$WORK/pass.txt"
compare_computers() { # LABEL AMBCMD-ARGS... (after /computer:)
  local label=$1 i t a=() b=()
  shift
  for i in $(seq "$REMOTE_RUNS"); do
    rm -f "$WORK"/report*.csv
    t=$(now_ms); in_world many "$SIM/Ambcmd.exe" "/computer:@Z:$WORK/pcs.txt" "$@" >/dev/null || true
    a+=($(($(now_ms) - t)))
    t=$(now_ms); in_world many "$SIM/Ambcmd.exe" /computer:PC01 "$@" >/dev/null || true
    b+=($(($(now_ms) - t)))
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  # a median of an even count of runs may end in .5: shell arithmetic takes no fraction
  row "$label" "$ma ms" "$(awk -v b="$mb" -v r="$ROUNDS" 'BEGIN { print b * r }') ms" \
    "$(awk -v a="$ma" -v b="$mb" -v r="$ROUNDS" 'BEGIN { printf "%.2fx", a / (r * b) }')" \
    "$ROUNDS x one computer ($mb ms); goal <= 1.25x"
}
compare_computers "Ambcmd /computer:@FILE /user NAME, $COMPUTERS x ${ROUND_TRIP} ms" /user benchu
compare_computers "Ambcmd /computer:@FILE /report, $COMPUTERS x ${ROUND_TRIP} ms" /report "Z:$WORK/report.csv"
# The same with a connection per computer (/as:, its password on standard input):
# one more round trip each, connected and cancelled around the command.
INPUT="$WORK/pass.txt"
compare_computers "Ambcmd /computer:@FILE /as:USER /user NAME, $COMPUTERS x ${ROUND_TRIP} ms" \
  /as:Administrator /user benchu
INPUT=/dev/null

# The yearly changeover on a lab: LAB_USERS new users into Users and the
# LAB_USERS users of Users the file no longer lists removed, on every computer,
# the lab's world copied back before each run so that every run has the same
# work: a school's April, 140 and 140 (about 2 minutes a run of the lab; a
# smaller --lab-users for a quick look).
sim lab reset
: >"$WORK/lab.txt"
for i in $(seq -f '%02g' "$COMPUTERS"); do
  reachable_computer lab "PC$i" --latency-ms "$ROUND_TRIP"
  sim lab users add-many "$LAB_USERS" --prefix left --computer "PC$i"
  echo "PC$i" >>"$WORK/lab.txt"
done
{
  printf '\xef\xbb\xbf種類,名前,フル ネーム (通称名),所属グループ,パスワード\r\n'
  for u in $(seq -w "$LAB_USERS"); do printf 'ユーザー,new%s,生徒 %s,Users,Pw-%sx\r\n' "$u" "$u" "$u"; done
} >"$WORK/april.csv"
cp -r "$WORK/lab" "$WORK/lab0"
lab_run() { # COMPUTER-LIST: the milliseconds of one changeover on a fresh copy of the lab
  local t
  rm -rf "$WORK/lab" && cp -r "$WORK/lab0" "$WORK/lab"
  t=$(now_ms)
  in_world lab "$SIM/Ambcmd.exe" "/computer:$1" /import "Z:$WORK/april.csv" /remove-missing:Users /s \
    >/dev/null || true
  echo $(($(now_ms) - t))
}
fleet=() one=()
for i in $(seq "$REMOTE_RUNS"); do
  fleet+=($(lab_run "@Z:$WORK/lab.txt"))
  one+=($(lab_run PC01))
done
ma=$(printf '%s\n' "${fleet[@]}" | median)
mb=$(printf '%s\n' "${one[@]}" | median)
row "Ambcmd /import, $LAB_USERS new + $LAB_USERS removed, $COMPUTERS x ${ROUND_TRIP} ms" "$ma ms" \
  "$(awk -v b="$mb" -v r="$ROUNDS" 'BEGIN { print b * r }') ms" \
  "$(awk -v a="$ma" -v b="$mb" -v r="$ROUNDS" 'BEGIN { printf "%.2fx", a / (r * b) }')" \
  "$ROUNDS x one computer ($mb ms); goal <= 1.25x"

# The password vault: a rotation on every computer against four rounds of one
# (a pending and an outcome record a computer, each flushed under the file's
# lock), and opening the vault: /show (reading and the key derivation,
# PBKDF2-HMAC-SHA256 600,000 rounds) against /history (the reading alone).
VAULT_PASS='bench passphrase 1'
rm -f "$WORK/bench.vault"
printf '%s\n%s\n' "$VAULT_PASS" "$VAULT_PASS" | AMBRELLE_SIM_DIR="$WORK/many" \
  wine "$SIM/Ambcmd.exe" "/vault:Z:$WORK/bench.vault" /init /s >/dev/null
compare_computers "Ambcmd /computer:@FILE /user /rotate NAME /vault:, $COMPUTERS x ${ROUND_TRIP} ms" \
  /user /rotate benchu "/vault:Z:$WORK/bench.vault" /s
open_vault() { # /show or /history: the milliseconds of one run
  local t
  t=$(now_ms)
  echo "$VAULT_PASS" | AMBRELLE_SIM_DIR="$WORK/many" wine "$SIM/Ambcmd.exe" \
    "/vault:Z:$WORK/bench.vault" "$@" /s >/dev/null || true
  echo $(($(now_ms) - t))
}
shows=() reads=()
for i in $(seq "$REMOTE_RUNS"); do
  shows+=($(open_vault /show PC01))
  reads+=($(open_vault /history))
done
ms=$(printf '%s\n' "${shows[@]}" | median)
mr=$(printf '%s\n' "${reads[@]}" | median)
row "Ambcmd /vault: /show PC01 (opens the key)" "$ms ms" "$mr ms" \
  "$(awk -v a="$ms" -v b="$mr" 'BEGIN { printf "%.2fx", a / b }')" \
  "against /history; key derivation about $((ms - mr)) ms"

# One call on an unchanged store.
for n in "$SMALL" "$LARGE"; do
  sim "w$n" reset
  sim "w$n" users add-many "$n" --prefix bench
  us=$(in_world "w$n" "$SIM/AmbBench.exe" percall "$CALLS" | tr -d '\r' | field us_per_call)
  row "sim: one NetUserGetInfo, $n users" "$us us" "" "" "unchanged store, $CALLS calls"
done
