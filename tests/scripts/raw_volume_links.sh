#!/usr/bin/env bash
# Drive letters R: and T: of the build tree's Wine prefix as raw volumes:
# Wine opens "\\.\R:" as the file that the prefix's "r::" link names. The
# raw volume tests write the images themselves; this boots the prefix and
# makes the links before them, and removes links and images after them.
#
# Usage: raw_volume_links.sh make|remove BUILD_DIR IMAGE_DIR
#   BUILD_DIR  the Windows build tree (its prefix is BUILD_DIR/wineprefix)
#   IMAGE_DIR  where r.img and t.img lie (beside the test executable)
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
images=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix="$build/wineprefix"
letters="r t"

case "$action" in
  make)
    # Booted first: Wine does not build a prefix around a dosdevices folder
    # that is already there (it never gets its C: drive).
    "$root/scripts/wine-run" "$prefix" cmd.exe /c exit 0 >/dev/null
    mkdir -p "$images"
    for letter in $letters; do
      ln -sfn "$images/$letter.img" "$prefix/dosdevices/$letter::"
    done
    ;;
  remove)
    for letter in $letters; do
      rm -f "$prefix/dosdevices/$letter::"
    done
    rm -rf "$images"
    ;;
  *)
    echo "usage: raw_volume_links.sh make|remove BUILD_DIR IMAGE_DIR" >&2
    exit 2
    ;;
esac
