#!/usr/bin/env bash
# Photographs the update prompt as users whose Windows speaks English and
# Korean see it, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/demo-lib.sh
source scripts/xvfb.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target corvantis_update_prompt >/dev/null
corvantis_start_xvfb

tool="$corvantis_root/build/windows/tools/corvantis_update_prompt.exe"
for shot in en:en_US.UTF-8 ko:ko_KR.UTF-8; do
  name=${shot%%:*}
  coproc PROMPT { env LC_ALL="${shot#*:}" "$corvantis_root/scripts/wine-run" "$corvantis_prefix" "$tool" show; }
  read -r -t 120 label x y w h <&"${PROMPT[0]}"
  [ "$label" = "window:" ] && [ "$w" -gt 0 ] || { echo "error: the prompt did not appear" >&2; exit 1; }
  sleep 0.5   # let the prompt finish painting
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "docs/update-prompt-$name.png"
  corvantis_wine "$tool" close
  wait "$PROMPT_PID"
  echo "docs/update-prompt-$name.png"
done
WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
