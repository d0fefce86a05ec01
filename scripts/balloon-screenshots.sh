#!/usr/bin/env bash
# Photographs the error balloon in its four placements, plain and with the
# 3-D border, into docs/balloon-plain.png and docs/balloon-3d.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/xvfb.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target corvantis_balloon_shots >/dev/null
corvantis_start_xvfb
prefix="$PWD/build/windows/wineprefix"
mkdir -p docs
for look in plain 3d; do
  LC_ALL=C scripts/wine-run "$prefix" build/windows/tools/corvantis_balloon_shots.exe "$look" 6 &
  shots_pid=$!
  sleep 4   # the prefix's desktop starts, the balloons show and paint
  import -window root -crop 1024x768+0+0 +repage "docs/balloon-$look.png"
  wait "$shots_pid"
  echo "docs/balloon-$look.png"
done
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
