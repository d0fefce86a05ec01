#!/usr/bin/env bash
# Photographs the main dialog in its four languages, as users whose Windows
# speaks English, Chinese (PRC), Japanese and Korean see it, into docs/.
#
#   bash scripts/screenshots.sh          at 96 DPI, docs/main-dialog-<language>.png
#   bash scripts/screenshots.sh --dpi    at 96, 120 and 144 DPI,
#                                        docs/dpi/main-dialog-<language>-<dpi>.png
set -euo pipefail
cd "$(dirname "$0")/.."

dpis=""
case "${1:-}" in
  "") ;;
  --dpi) dpis="96 120 144" ;;
  *) echo "usage: bash scripts/screenshots.sh [--dpi]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
source scripts/demo-lib.sh
source scripts/xvfb.sh
corvantis_build_demo
# The display first: preparing the bay starts Wine, whose desktop stays on
# the display it found.
corvantis_start_xvfb
corvantis_prepare_bay
# A Sector Copy of the bay's E:, with Used space only ticked: the one task
# for which both check boxes are open, so the pictures show them both. The
# master is a stick, and so not among the targets.
settings_key='HKCU\Software\Local AppWizard-Generated Applications\CorvantisUsbCopyDemo\UserInterface'
# The prefix is the tests' too, and the demo's close box stores what it
# showed: the tests find the File Copy that corvantis_prepare_bay set.
restore_settings() {
  corvantis_wine reg add "$settings_key" /v TaskType /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  corvantis_wine reg delete "$settings_key" /v SourceVolume /f >/dev/null 2>&1 || true
  corvantis_wine reg add "$settings_key" /v UsedSpaceOnly /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
}
corvantis_wine reg add "$settings_key" /v TaskType /t REG_DWORD /d 1 /f >/dev/null
corvantis_wine reg add "$settings_key" /v SourceVolume /t REG_SZ /d 'E:\' /f >/dev/null
corvantis_wine reg add "$settings_key" /v UsedSpaceOnly /t REG_DWORD /d 1 /f >/dev/null

languages="en:en_US.UTF-8 zh-CN:zh_CN.UTF-8 ja:ja_JP.UTF-8 ko:ko_KR.UTF-8"
desktop_key='HKCU\Software\Wine\Explorer\Desktops'
dpi_key='HKCU\Control Panel\Desktop'

if [ -z "$dpis" ]; then
  trap 'corvantis_end_demo; restore_settings; corvantis_stop_xvfb' EXIT
  for shot in $languages; do
    name=${shot%%:*}
    corvantis_start_demo "${shot#*:}"
    corvantis_screenshot "docs/main-dialog-$name.png"
    corvantis_close_demo
    echo "docs/main-dialog-$name.png"
  done
else
  # The prefix is the tests' too: its desktop size and DPI go back to what
  # scripts/wine-prefix.reg gives (the machine's 96 DPI) however this ends.
  restore_prefix() {
    corvantis_end_demo
    restore_settings
    corvantis_wine reg add "$desktop_key" /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1 || true
    corvantis_wine reg delete "$dpi_key" /v LogPixels /f >/dev/null 2>&1 || true
    WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
    corvantis_stop_xvfb
  }
  trap restore_prefix EXIT
  # At 144 DPI the dialog is 804 pixels tall: the tests' 1024x768 desktop
  # would cut it off. The desktop takes its size when Wine starts it anew.
  corvantis_wine reg add "$desktop_key" /v Default /t REG_SZ /d 1280x1024 /f >/dev/null
  WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
  mkdir -p docs/dpi
  for dpi in $dpis; do
    # Wine reads the user's LogPixels at every process start.
    corvantis_wine reg add "$dpi_key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    for shot in $languages; do
      file="docs/dpi/main-dialog-${shot%%:*}-$dpi.png"
      corvantis_start_demo "${shot#*:}"
      corvantis_screenshot "$file"
      corvantis_close_demo
      echo "$file"
    done
  done
fi
WINEPREFIX="$corvantis_prefix" wineserver -k 2>/dev/null || true
