#!/usr/bin/env bash
# A real FAT32 volume copied raw onto three drives of the bay through the
# demo's dialog: two of its size take the image, one smaller refuses (E1).
# Every accepted target must pass fsck.fat and hold the source's files, and
# the source must come out unchanged. Then the same with "Used space only"
# ticked, onto the two drives made dirty again: they must still pass fsck.fat
# and hold the files, while their free space keeps the dirt.
#
# Usage: sector_copy_fat32.sh BUILD_DIR   (the Windows build tree; DISPLAY set)
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$build/tests/sector-copy-fat32"
prefix="$build/wineprefix"
export MTOOLS_SKIP_CHECK=1
wine_run() { "$root/scripts/wine-run" "$prefix" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/files/docs"

# 40 MiB of FAT32, filled to the last part of its data area, where a copy of
# only the file system's capacity would lose the files.
mkfs.fat -F 32 -S 512 -s 1 -n MASTER -C "$work/source.img" 40960 >/dev/null
printf 'first file\n' >"$work/files/readme.txt"
head -c 1000000 /dev/urandom >"$work/files/docs/photo.jpg"
head -c 36000000 /dev/urandom >"$work/files/video.bin"
head -c 4000000 /dev/urandom >"$work/files/last.bin"
mcopy -i "$work/source.img" -s "$work/files/readme.txt" "$work/files/docs" "$work/files/video.bin" "$work/files/last.bin" ::/
fsck.fat -n "$work/source.img" >/dev/null || fail "the source image is not clean"
sha_before=$(sha256sum <"$work/source.img")
# What the system reports as the volume's size: its data clusters only.
capacity=$(fsck.fat -n -v "$work/source.img" | sed -n 's/.*data clusters (\([0-9]*\) bytes).*/\1/p')
[ -n "$capacity" ] && [ "$capacity" -lt "$(stat -c %s "$work/source.img")" ] || fail "no capacity read"

truncate -s 40M "$work/e.img" "$work/f.img"
truncate -s 39M "$work/g.img"

cat >"$work/bay.txt" <<BAY
# The master stick and three sticks to copy it onto.
[S:]
image = source.img
size = $capacity
fs = FAT32
[E:]
image = e.img
size = $capacity
[F:]
image = f.img
size = $capacity
[G:]
image = g.img
size = $capacity
BAY

key='HKCU\Software\Local AppWizard-Generated Applications\CorvantisUsbCopyDemo\UserInterface'
wine_run reg add "$key" /v TaskType /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine_run reg add "$key" /v SourceVolume /t REG_SZ /d 'S:\' /f >/dev/null 2>&1

export CORVANTIS_BAY="Z:${work//\//\\}\\bay.txt"
run_demo() {
  LC_ALL=C wine_run "$build/CorvantisUsbCopyDemo.exe" &
  demo=$!
  trap 'kill $demo 2>/dev/null || true' EXIT
  results=$(wine_run "$build/tools/corvantis_probe.exe" sector-copy 300 | tr -d '\r') || fail "the run did not complete"
  wine_run "$build/tools/corvantis_probe.exe" close 30 >/dev/null || true
  wait "$demo" || true
  trap - EXIT
}
run_demo

# check_run WHAT: the slots show OK, OK, E1, the source is as it was, and
# both targets pass fsck.fat and hold the source's files.
check_run() {
  local what=$1 target
  echo "$results" | grep '^slot'
  [ "$(grep '^slot' <<<"$results")" = $'slot 1: E: OK\nslot 2: F: OK\nslot 3: G: E1' ] \
    || fail "${what}the slots do not show OK, OK, E1"
  [ "$(sha256sum <"$work/source.img")" = "$sha_before" ] || fail "${what}the source image changed"
  for target in e f; do
    fsck.fat -n "$work/$target.img" >/dev/null || fail "${what}$target.img does not pass fsck.fat"
    rm -rf "$work/out-$target"
    mkdir -p "$work/out-$target"
    mcopy -i "$work/$target.img" -s -n '::*' "$work/out-$target/"
    diff -r "$work/files" "$work/out-$target" >/dev/null || fail "${what}the files on $target.img differ from the source's"
  done
}

check_run ""
for target in e f; do
  cmp -s "$work/source.img" "$work/$target.img" || fail "$target.img is not the source image"
done
cmp -s "$work/g.img" <(head -c "$(stat -c %s "$work/g.img")" /dev/zero) || fail "the refused g.img was written"

# Used space only: the files copied to the last part of the data area and a
# file deleted on the source leave free clusters on both sides; the targets'
# dirt must stay in theirs.
mdel -i "$work/source.img" ::/docs/photo.jpg
rm "$work/files/docs/photo.jpg"
sha_before=$(sha256sum <"$work/source.img")
for target in e f; do
  head -c "$(stat -c %s "$work/$target.img")" /dev/zero | tr '\0' '\245' >"$work/$target.img.dirty"
  mv "$work/$target.img.dirty" "$work/$target.img"
done
wine_run reg add "$key" /v UsedSpaceOnly /t REG_DWORD /d 1 /f >/dev/null 2>&1
run_demo
wine_run reg delete "$key" /v UsedSpaceOnly /f >/dev/null 2>&1
check_run "used space only: "
for target in e f; do
  # The photo's megabyte of clusters is free on the source: on the target
  # it keeps the dirt, less the chunks it shares with files.
  dirt=$(( $(tr -cd '\245' <"$work/$target.img" | wc -c) - $(tr -cd '\245' <"$work/source.img" | wc -c) ))
  [ "$dirt" -gt 800000 ] || fail "used space only: $target.img was copied whole ($dirt bytes of dirt left)"
done
echo "PASS: both images pass fsck.fat and hold the source's files, whole and of the used space only; the source is unchanged"
