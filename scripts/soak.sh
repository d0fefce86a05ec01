#!/usr/bin/env bash
# Runs the Windows tier over and over on the current build, and the native
# suites whose threads meet (supervisor, sector copy, file copy runs, run
# control, format table) under ThreadSanitizer with --gtest_repeat, to find
# the tests that fail only now and then.
#
# Usage: soak.sh [RUNS]   (default 20)
#
# Run 1 and every fifth run after it (6, 11, ...) start from a fresh Wine
# prefix, so the first-run path (boot, registry import) is soaked too. Every
# failing test is printed with its output; the last line is
#   soak: RUNS runs, F failed
# where F counts the runs in which anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-20}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: soak.sh [RUNS]" >&2; exit 2; }

scripts/install-deps.sh || { echo "error: dependencies could not be installed" >&2; exit 1; }
source scripts/xvfb.sh
corvantis_start_xvfb || exit 1

logs=$root/build/soak
rm -rf "$logs"
mkdir -p "$logs"
for preset in windows host-tsan; do
  if ! { cmake --preset "$preset" -DCORVANTIS_WERROR=ON && cmake --build --preset "$preset" -j2; } >"$logs/build-$preset.log" 2>&1; then
    tail -n 40 "$logs/build-$preset.log"
    echo "soak: the $preset build failed"
    exit 1
  fi
done

prefix=$root/build/windows/wineprefix
tsan_filter='TaskRunTest.*:SectorCopyTest.*:FileCopyRunTest.*:FormatVolumeTest.*:FormatRunTest.*'
failed_runs=0

# print_ctest_failures LOG: each failed test's own output, cut from the log.
print_ctest_failures() {
  local log=$1 name
  sed -n '/The following tests FAILED:/,$p' "$log" | sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p' |
    while read -r name; do
      echo "---- FAILED: $name"
      # With --output-on-failure CTest prints a test's output after its
      # result line, up to the next test's "Start" line or the summary.
      awk -v name="$name" '
        $0 ~ /Test +#[0-9]+: / && index($0, " " name " ") { on = 1; print; next }
        on && (/^ +Start +[0-9]+: / || /^[0-9]+% tests passed/) { on = 0 }
        on { print }' "$log" | tail -n 200
    done
}

for run in $(seq 1 "$runs"); do
  fresh=""
  if [ $(( (run - 1) % 5 )) -eq 0 ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
    rm -rf "$prefix" "$prefix.lock"
    fresh=" (fresh prefix)"
  fi
  run_failed=0
  start=$(date +%s)

  wlog=$logs/windows-$run.log
  if ! ctest --preset windows --output-on-failure >"$wlog" 2>&1; then
    run_failed=1
    echo "== run $run: Windows tier failed"
    print_ctest_failures "$wlog"
    grep -E '^[0-9]+% tests passed' "$wlog" || tail -n 20 "$wlog"
  fi

  tlog=$logs/tsan-$run.log
  if ! build/host-tsan/tests/corvantis_core_tests --gtest_filter="$tsan_filter" --gtest_repeat=3 \
       --gtest_brief=1 >"$tlog" 2>&1; then
    run_failed=1
    echo "== run $run: native suites under ThreadSanitizer failed"
    tail -n 200 "$tlog"
  fi

  failed_runs=$((failed_runs + run_failed))
  echo "== run $run of $runs$fresh: $([ "$run_failed" -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - start )) s"
done
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

echo "soak: $runs runs, $failed_runs failed"
[ "$failed_runs" -eq 0 ]
