#!/usr/bin/env bash
# Builds CORVANTIS USB Copy and starts its demo build under Wine, over a bay
# of simulated drives (scripts/demo-bay.txt).
#
# Without a display it starts its own Xvfb, prints the texts of the 22 drive
# letter slots, saves a screenshot of the dialog, closes it and exits 0.
# With a display it leaves the program open for use.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/demo-lib.sh
corvantis_build_demo
corvantis_prepare_bay

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  source scripts/xvfb.sh
  corvantis_start_xvfb
fi

corvantis_start_demo "${LC_ALL:-}"
grep '^slot' <<<"$corvantis_report"
shot="$corvantis_root/build/corvantis-usb-copy.png"
corvantis_screenshot "$shot"
echo "Screenshot: $shot"

if [ "$headless" -eq 1 ]; then
  corvantis_close_demo
  WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
else
  echo "The program is open; close its window to end."
  wait "$corvantis_demo_pid"
fi
