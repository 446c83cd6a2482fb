#!/usr/bin/env bash
# ./ambrelle coverage [CTEST ARGS...]: line and branch coverage of the product's
# sources (gui/, cli/, launcher/, ambcore/, common/, report/) by the test suite.
#
# A build of its own ($AMBRELLE_COVERAGE_DIR, default ROOT/build-coverage) with
# gcc's --coverage; the suite runs under Wine, where every program writes its
# .gcda counts through the Windows path Z:<object path> (GCOV_PREFIX), which is
# the object's own folder in the build tree. gcovr, with mingw's gcov, writes
# an HTML report to <build>/coverage/index.html and prints the totals.
# Extra arguments go to ctest (e.g. -R 'cli_' for a part of the suite).
# Counts are written when a program ends: the window-test driver lets a program
# that it ends run its own exit first, so that its counts are kept. The lines that show a message or
# print a failure line and never ran go to <build>/coverage/failure-branches.txt.
set -euo pipefail

ROOT="$1"
shift
BUILD="${AMBRELLE_COVERAGE_DIR:-$ROOT/build-coverage}"
JOBS="${AMBRELLE_JOBS:-$(nproc)}"
REPORT="$BUILD/coverage"
GCOV=x86_64-w64-mingw32-gcov

say() { printf 'ambrelle coverage: %s\n' "$*" >&2; }

if [ ! -f "$BUILD/build.ninja" ]; then
  say "configuring $BUILD"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_C_FLAGS="--coverage -O0" -DCMAKE_CXX_FLAGS="--coverage -O0" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
fi
say "building (log: $BUILD/build.log)"
ninja -C "$BUILD" -j "$JOBS" >"$BUILD/build.log" 2>&1 || {
  tail -30 "$BUILD/build.log" >&2
  say "build failed"
  exit 1
}

# Counts of an earlier run would add up with this one's.
find "$BUILD" -name '*.gcda' -delete
rm -rf "$REPORT"
mkdir -p "$REPORT"

# The objects' paths are absolute Unix paths; on drive Z: (the Unix root) they
# name the same files. Wine hands the variables on to the Windows programs.
export GCOV_PREFIX=Z: GCOV_PREFIX_STRIP=0
status=0
say "running the suite"
ctest --test-dir "$BUILD" -j "$JOBS" --timeout 900 "$@" >"$REPORT/ctest.log" 2>&1 || status=$?
tail -5 "$REPORT/ctest.log" >&2
[ "$status" -eq 0 ] || say "some tests failed (see $REPORT/ctest.log); the report counts what ran"

found=$(find "$BUILD" -name '*.gcda' | wc -l)
say "$found .gcda files; writing the report"
[ "$found" -gt 0 ] || { say "no counts were written"; exit 1; }

filters=()
for dir in gui cli launcher ambcore common report; do
  filters+=(--filter "$ROOT/$dir/")
done
gcovr --root "$ROOT" --object-directory "$BUILD" --gcov-executable "$GCOV" \
  "${filters[@]}" --exclude-unreachable-branches --exclude-throw-branches \
  --exclude-directories '.*/wineprefix' \
  --html-details "$REPORT/index.html" --json "$REPORT/coverage.json" \
  --print-summary --gcov-ignore-parse-errors "$BUILD" 2>"$REPORT/gcovr.log" |
  tail -3

# Only the build is searched for counts, without its test prefixes: a prefix's
# drive Z: leads to the whole file system, other builds' counts included.

# Failure branches: the lines that show a message or print a failure line.
python3 - "$ROOT" "$REPORT/coverage.json" "$REPORT/failure-branches.txt" <<'PY'
import json, re, sys
root, data, out = sys.argv[1:]
FAILURE = re.compile(r'AMBMessageBoxW\(|MessageBoxW\(|ShowPlatformError\(|PrintNetError\(|'
                     r'ReportLogonFailure\(|CommandLineError|failureLine|detailsFailureLine|'
                     r'L"エラー : ')
DEFINITION = re.compile(r'(static\s+)?[A-Za-z_]+\s+\w+\(')  # a function's own first line
reached, missed = 0, []
for f in json.load(open(data))['files']:
    counts = {l['line_number']: l['count'] for l in f['lines'] if not l.get('gcovr/noncode')}
    source = open(f"{root}/{f['file']}", encoding='utf-8').read().splitlines()
    for number, text in enumerate(source, 1):
        if (FAILURE.search(text) and number in counts and not DEFINITION.match(text) and
                not text.lstrip().startswith('//')):
            if counts[number] > 0:
                reached += 1
            else:
                missed.append(f"{f['file']}:{number}: {text.strip()}")
with open(out, 'w', encoding='utf-8') as o:
    o.write('\n'.join(missed) + '\n')
print(f'failure branches: {reached} reached of {reached + len(missed)} '
      f'(unreached: {out})')
PY
say "report: $REPORT/index.html"
exit "$status"
