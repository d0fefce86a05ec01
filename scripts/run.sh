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
# when the run ended). A message box of the program, before the run or
# instead of it, is printed and ends the command with an error at once.
# With a display it leaves the program open for use.
#
# With --verify it does the same with a Sector Copy with Verify instead, over
# its own bay (scripts/demo-bay-verify.txt): a master volume onto four
# sticks, one of them a counterfeit that takes every write; only that one
# must show E8 after the read-back. CORVANTIS_BAY plays no part then.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=file-copy
case "${1:-}" in
  "") ;;
  --verify) mode=verify ;;
  *) echo "usage: run.sh [--verify]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
source scripts/demo-lib.sh
corvantis_build_demo

headless=0
source scripts/xvfb.sh
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  corvantis_start_xvfb
fi
# Wine's programs before the display they draw on.
trap 'corvantis_end_demo; WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true; corvantis_stop_xvfb' EXIT
if [ "$mode" = verify ]; then
  unset CORVANTIS_BAY
  corvantis_prepare_verify_bay
  task=sector-copy
  task_name="Sector Copy with Verify"
  shot="$corvantis_root/build/corvantis-usb-copy-verify.png"
  # Every stick takes every write; the counterfeit G: fails its read-back.
  expected=$'slot 1: E: OK\nslot 2: F: OK\nslot 3: G: E8\nslot 4: H: OK'
else
  corvantis_prepare_bay
  task=file-copy
  task_name="File Copy"
  shot="$corvantis_root/build/corvantis-usb-copy.png"
  # The demo bay: four drives take the sample, M: is too small for it.
  expected=$'slot 1: E: OK\nslot 2: F: OK\nslot 3: G: OK\nslot 4: J: OK\nslot 5: M: E1'
fi

# A bay of one's own may take the drive that holds the sample.
explain_own_bay() {
  [ "$corvantis_own_bay" -eq 0 ] || corvantis_explain_sample_drive "$corvantis_bay_file" "$corvantis_sample"
}

if [ "$headless" -eq 0 ]; then
  corvantis_start_demo "${LC_ALL:-}" || { explain_own_bay; exit 1; }
  echo "The program is open; close its window to end."
  status=0
  wait "$corvantis_demo_pid" || status=$?
  corvantis_demo_pid=
  exit "$status"
fi

corvantis_start_demo C || { explain_own_bay; exit 1; }
status=0
results=$(corvantis_probe "$task" 300 | tr -d '\r') || status=$?
grep '^slot' <<<"$results" || true
if [ "$status" -ne 0 ]; then
  corvantis_end_demo
  if [ "$status" -eq 3 ]; then
    echo "error: the program showed that message instead of running the $task_name" >&2
  else
    echo "error: the $task_name run did not complete" >&2
  fi
  explain_own_bay
  exit 1
fi
corvantis_report=$results
corvantis_screenshot "$shot"
echo "Screenshot: $shot"
corvantis_close_demo || true
WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true

if [ "$corvantis_own_bay" -eq 0 ]; then
  if [ "$(grep '^slot' <<<"$results")" != "$expected" ]; then
    echo "error: the slots do not show what the demo bay makes them expect:" >&2
    echo "$expected" >&2
    exit 1
  fi
  echo "Every slot shows its expected result."
fi
