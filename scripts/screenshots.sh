#!/usr/bin/env bash
# Photographs the main dialog in its four languages, as users whose Windows
# speaks English, Chinese (PRC), Japanese and Korean see it, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/demo-lib.sh
source scripts/xvfb.sh
corvantis_build_demo
# The display first: preparing the bay starts Wine, whose desktop stays on
# the display it found.
corvantis_start_xvfb
corvantis_prepare_bay

for shot in en:en_US.UTF-8 zh-CN:zh_CN.UTF-8 ja:ja_JP.UTF-8 ko:ko_KR.UTF-8; do
  name=${shot%%:*}
  corvantis_start_demo "${shot#*:}"
  corvantis_screenshot "docs/main-dialog-$name.png"
  corvantis_close_demo
  echo "docs/main-dialog-$name.png"
done
WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
