#!/usr/bin/env bash
# The run command's way with message boxes of the demo, through the same
# functions (scripts/demo-lib.sh) and probe: a box in place of the dialog or
# of the run is printed as one line on stderr, the start or run fails, and
# the demo is ended rather than waited on; a bay that takes the sample's
# drive is named as the cause.
#
# Usage: demo_message_boxes.sh BUILD_DIR   (the Windows build tree; DISPLAY set)
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/demo-lib.sh"
[ "$corvantis_prefix" = "$build/wineprefix" ] || { echo "FAIL: demo-lib.sh serves $corvantis_prefix" >&2; exit 1; }
work="$build/tests/demo-message-boxes"
fail() { echo "FAIL: $*" >&2; exit 1; }
trap corvantis_end_demo EXIT

rm -rf "$work"
mkdir -p "$work/sample" "$work/drives/e" "$work/drives/z"
printf 'to copy\n' >"$work/sample/readme.txt"
sample="Z:${work//\//\\}\\sample"
key='HKCU\Software\Local AppWizard-Generated Applications\CorvantisUsbCopyDemo\UserInterface'
corvantis_wine reg add "$key" /v TaskType /t REG_DWORD /d 0 /f >/dev/null 2>&1
corvantis_wine reg add "$key" /v SourceFolder /t REG_SZ /d "$sample" /f >/dev/null 2>&1

echo "== a description the demo cannot use: its box comes instead of the dialog"
printf '[E:]\nfolder = drives/e\nsize = lots\n' >"$work/broken.txt"
export CORVANTIS_BAY="Z:${work//\//\\}\\broken.txt"
status=0
corvantis_start_demo C 2>"$work/stderr" || status=$?
cat "$work/stderr"
[ "$status" -ne 0 ] || fail "the start succeeded over a box"
expected="corvantis_probe: the program says: The drive bay description $CORVANTIS_BAY cannot be used: line 3: bad value for \"size\": \"lots\""
grep -qxF "$expected" "$work/stderr" || fail "stderr lacks the line: $expected"
[ -z "$corvantis_demo_pid" ] || fail "the demo was left running"

echo "== a bay that takes Z:, where the sample lies: the box comes instead of the run"
printf '[E:]\nfolder = drives/e\nsize = 16G\n[ z ]\nfolder = drives/z\nsize = 16G\n' >"$work/takes-z.txt"
export CORVANTIS_BAY="Z:${work//\//\\}\\takes-z.txt"
corvantis_start_demo C || fail "the dialog did not come over a bay that takes Z:"
status=0
corvantis_probe file-copy 60 >"$work/stdout" 2>"$work/stderr" || status=$?
cat "$work/stdout" "$work/stderr"
[ "$status" -eq 3 ] || fail "the probe ended with status $status, not 3 (a message box)"
grep -qxF "corvantis_probe: the program says: The source folder is invalid." "$work/stderr" \
  || fail "stderr lacks the program's message"
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "stderr holds more than the program's message"
corvantis_explain_sample_drive "$work/takes-z.txt" "$sample" 2>"$work/stderr"
grep -qF "the bay description defines Z:, the drive that holds the sample folder ($sample); leave Z: free in it" \
  "$work/stderr" || fail "the letter to leave free is not named"
corvantis_explain_sample_drive "$work/broken.txt" "$sample" 2>"$work/stderr"
[ ! -s "$work/stderr" ] || fail "a bay without Z: was blamed: $(cat "$work/stderr")"
corvantis_end_demo

echo "PASS: both boxes printed as one line, the demo ended, Z: named"
