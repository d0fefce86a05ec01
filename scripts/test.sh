#!/usr/bin/env bash
# Builds the four test presets and runs the tier of each: native, native
# under ThreadSanitizer, native under AddressSanitizer with UBSan, and the
# Windows build under Wine with a private X display. Ends with one summary
# line.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh || { echo "error: dependencies could not be installed" >&2; exit 1; }
source scripts/xvfb.sh

passed=0
failed=0
mkdir -p build
log=build/tier.log

# run_tier PRESET: configure, build, test; adds the tier's counts to the totals.
# A tier that cannot build or whose tests cannot start counts as one failure.
run_tier() {
  local preset=$1
  echo "== tier: $preset"
  if ! cmake --preset "$preset" -DCORVANTIS_WERROR=ON >"$log" 2>&1 || ! cmake --build --preset "$preset" -j2 >>"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== tier $preset: build failed"
    failed=$((failed + 1))
    return
  fi
  ctest --preset "$preset" 2>&1 | tee "$log" | grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|Failed|Error' || true
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    tail -n 40 "$log"
    echo "== tier $preset: no test ran"
    failed=$((failed + 1))
    return
  fi
  local tier_failed tier_total
  tier_failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  tier_total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + tier_total - tier_failed))
  failed=$((failed + tier_failed))
}

run_tier host
run_tier host-tsan
run_tier host-asan

if corvantis_start_xvfb; then
  run_tier windows
  WINEPREFIX="$root/build/windows/wineprefix" wineserver -k 2>/dev/null || true
else
  echo "== tier windows: no display"
  failed=$((failed + 1))
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
