#!/usr/bin/env bash
# Builds CORVANTIS USB Copy and starts its demo build under Wine, over a bay
# of simulated drives (scripts/demo-bay.txt, or the description that
# CORVANTIS_BAY names).
#
# Without a display it starts its own Xvfb and performs a File Copy of a
# sample folder onto the bay's drives through the dialog: it chooses the
# task, presses Start, waits for the run to end, prints each slot's letter
# and result, saves a screenshot of the finished run and exits; 0 only when
# every slot shows what the demo bay makes it expect (with a bay of your own:
# when the run ended). With a display it leaves the program open for use.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/demo-lib.sh
corvantis_build_demo

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  source scripts/xvfb.sh
  corvantis_start_xvfb
fi
corvantis_prepare_bay

if [ "$headless" -eq 0 ]; then
  corvantis_start_demo "${LC_ALL:-}"
  echo "The program is open; close its window to end."
  wait "$corvantis_demo_pid"
  exit 0
fi

corvantis_start_demo C
status=0
results=$(corvantis_wine "$corvantis_root/build/windows/tests/corvantis_probe.exe" file-copy 300 | tr -d '\r') || status=$?
grep '^slot' <<<"$results" || true
shot="$corvantis_root/build/corvantis-usb-copy.png"
if [ "$status" -eq 0 ]; then
  corvantis_report=$results
  corvantis_screenshot "$shot"
  echo "Screenshot: $shot"
fi
corvantis_close_demo || true
WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
[ "$status" -eq 0 ] || { echo "error: the File Copy run did not complete" >&2; exit 1; }

if [ "$corvantis_own_bay" -eq 0 ]; then
  # The demo bay: four drives take the sample, M: is too small for it.
  expected=$'slot 1: E: OK\nslot 2: F: OK\nslot 3: G: OK\nslot 4: J: OK\nslot 5: M: E1'
  if [ "$(grep '^slot' <<<"$results")" != "$expected" ]; then
    echo "error: the slots do not show what the demo bay makes them expect:" >&2
    echo "$expected" >&2
    exit 1
  fi
  echo "Every slot shows its expected result."
fi
