#!/usr/bin/env bash
# Builds CORVANTIS USB Copy and starts its demo build under Wine, over a bay
# of simulated drives (scripts/demo-bay.txt).
#
# Without a display it starts its own Xvfb, prints the texts of the 22 drive
# letter slots, saves a screenshot of the dialog, closes it and exits 0.
# With a display it leaves the program open for use.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
echo "Building..."
cmake --preset windows >build.log 2>&1 || { cat build.log; exit 1; }
cmake --build --preset windows -j2 --target CorvantisUsbCopy CorvantisUsbCopyDemo corvantis_probe >>build.log 2>&1 \
  || { tail -n 40 build.log; exit 1; }
rm -f build.log

demo="$root/build/demo"
mkdir -p "$demo"/drives/{e,f,g,j,m}
cp scripts/demo-bay.txt "$demo/bay.txt"
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
export CORVANTIS_BAY
CORVANTIS_BAY=$(windows_path "$demo/bay.txt")

prefix="$root/build/windows/wineprefix"
wine_run() { scripts/wine-run "$prefix" "$@"; }

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  source scripts/xvfb.sh
  corvantis_start_xvfb
fi

wine_run build/windows/CorvantisUsbCopyDemo.exe &
program=$!

report=$(wine_run build/windows/tests/corvantis_probe.exe report 120) || {
  echo "error: the dialog did not appear" >&2
  kill "$program" 2>/dev/null
  exit 1
}
grep '^slot' <<<"$report"

read -r x y w h < <(sed -n 's/^window: //p' <<<"$report")
shot="$root/build/corvantis-usb-copy.png"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"
echo "Screenshot: $shot"

if [ "$headless" -eq 1 ]; then
  wine_run build/windows/tests/corvantis_probe.exe close 30 >/dev/null
  wait "$program"
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
else
  echo "The program is open; close its window to end."
  wait "$program"
fi
