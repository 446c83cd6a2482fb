#!/usr/bin/env bash
# Runs tools/bench.sh with tiny counts and checks that its table is whole.
set -u
out=$("$1/tools/bench.sh" "$1" "$2" --users 12 --groups 2 --runs 1 --large 200 --calls 20 \
  --slow-users 5 --slow-groups 1 --computers 9 --lab-users 3 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "FAIL: bench exited with $status"; exit 1; }
fail=0
expect() {
  echo "$out" | grep -Eq "$1" || { echo "FAIL: no line matching: $1"; fail=1; }
}
expect '^Ambcmd /user NAME \(process\) +[0-9]+ ms +[0-9]+ ms +[0-9.]+x'
expect '^Ambcmd /user /add NAME \(process\) +[0-9]+ ms +[0-9]+ ms +[0-9.]+x'
expect '^Ambcmd /group NAME \(process\) +[0-9]+ ms +[0-9]+ ms +[0-9.]+x'
# 13 users listed (12 and kanri) with one lock-out read each and one page read.
expect '^refresh \(40015\), local, built-ins hidden .* 1\.077/user row, 1\.00 lookup/group; list-view alone [0-9.]+ ms$'
expect '^refresh \(40015\), local, built-ins shown .*/user row, 1\.00 lookup/group; list-view alone [0-9.]+ ms$'
expect '^refresh \(40015\), remote 2 ms, built-ins hidden .*/user row'
expect '^  against calls x round trip +[0-9.]+ ms +[0-9.]+ ms +[0-9.]+x'
expect '^report, remote 2 ms, against calls x round trip +[0-9.]+ ms +[0-9.]+ ms +[0-9.]+x +[0-9]+ calls x 2 ms; one at a time [0-9.]+ ms$'
expect '^refresh \(40015\), remote 20 ms, 5 users, built-ins shown .*/user row'
expect '^report, remote 20 ms, 5 users, against calls x round trip +[0-9.]+ ms'
expect '^import of 12 new users into 20 groups +[0-9.]+ ms +[0-9.]+ ms +[0-9.]+x +read, check, plan, apply; failed rows 0$'
expect '^Ambcmd /computer:@FILE /user NAME, 9 x 50 ms +[0-9]+ ms +[0-9]+ ms +[0-9.]+x +2 x one computer'
expect '^Ambcmd /computer:@FILE /report, 9 x 50 ms +[0-9]+ ms +[0-9]+ ms +[0-9.]+x +2 x one computer'
expect '^Ambcmd /import, 3 new \+ 3 removed, 9 x 50 ms +[0-9]+ ms +[0-9]+ ms +[0-9.]+x +2 x one computer'
expect '^sim: one NetUserGetInfo, 100 users +[0-9.]+ us'
expect '^sim: one NetUserGetInfo, 200 users +[0-9.]+ us'
echo "$out" | grep -q 'AmbBench:' && { echo "FAIL: the refresh and the bare calls disagree"; fail=1; }
exit $fail
