#!/usr/bin/env bash
# Photographs the error balloon in its four placements, plain and with the
# 3-D border, into docs/balloon-plain.png and docs/balloon-3d.png, and the
# balloons of drives that failed with a reason, in English and Korean, into
# docs/balloon-reason-en.png and docs/balloon-reason-ko.png. With "reason"
# only the latter two.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/xvfb.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target corvantis_balloon_shots >/dev/null
corvantis_start_xvfb
prefix="$PWD/build/windows/wineprefix"
mkdir -p docs
# shoot LOOK LOCALE FILE
shoot() {
  LC_ALL=$2 scripts/wine-run "$prefix" build/windows/tools/corvantis_balloon_shots.exe "$1" 6 &
  shots_pid=$!
  sleep 4   # the prefix's desktop starts, the balloons show and paint
  import -window root -crop 1024x768+0+0 +repage "$3"
  wait "$shots_pid"
  echo "$3"
}
if [ "${1:-}" != reason ]; then
  for look in plain 3d; do
    shoot "$look" C "docs/balloon-$look.png"
  done
fi
shoot reason en_US.UTF-8 docs/balloon-reason-en.png
shoot reason ko_KR.UTF-8 docs/balloon-reason-ko.png
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
