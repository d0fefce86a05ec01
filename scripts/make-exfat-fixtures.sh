#!/usr/bin/env bash
# Makes the exFAT images of tests/fixtures once; the tests only unpack them.
# Needs root, loop devices, /dev/fuse, exfatprogs, exfat-fuse, python3 and
# xz: no tool writes files into an exFAT image without mounting it.
#
# Every file's content follows the tests' own scheme (tests/support/
# file_system_images.cpp, FixtureContent): each 512-byte sector begins with
# "CORVANTIS <path> SECTOR <index>\n" and goes on with bytes of the path and
# the index, so a check can find every sector of a file in a raw image.
# Some files are deleted again, so that free clusters hold stale data.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || { echo "run as root: loop devices and a FUSE mount" >&2; exit 1; }
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/tests/fixtures
work=$(mktemp -d)
loop=""
cleanup() {
  mountpoint -q "$work/mnt" && umount "$work/mnt"
  [ -n "$loop" ] && losetup -d "$loop"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/mnt" "$out"

# content PATH BYTES > file
content() {
  python3 - "$1" "$2" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
seed = sum(path.encode()) % 251
out = bytearray()
sector = 0
while len(out) < size:
    block = bytearray(f"CORVANTIS {path} SECTOR {sector}\n".encode())
    block += bytes((seed + sector * 13 + i * 7) & 0xFF for i in range(len(block), 512))
    out += block
    sector += 1
sys.stdout.buffer.write(bytes(out[:size]))
PY
}

manifest=$out/exfat-manifest.txt
: > "$manifest"

# fixture NAME SECTOR_BYTES BYTES MKFS_OPTIONS... ; then "live PATH BYTES"
# and "dead PATH BYTES" lines on stdin.
fixture() {
  local name=$1 sector=$2 bytes=$3
  shift 3
  local image=$work/$name.img
  truncate -s "$bytes" "$image"
  loop=$(losetup -f --show -b "$sector" "$image")
  mkfs.exfat "$@" "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$work/mnt"
  local kind path size dead=()
  while read -r kind path size; do
    mkdir -p "$work/mnt/$(dirname "$path")"
    content "$path" "$size" > "$work/mnt/$path"
    if [ "$kind" = live ]; then
      echo "$name $path $size" >> "$manifest"
    else
      dead+=("$path")
    fi
  done
  sync
  for path in "${dead[@]}"; do rm "$work/mnt/$path"; done
  umount "$work/mnt"
  fsck.exfat -n "$loop" >/dev/null
  losetup -d "$loop"
  loop=""
  xz -9 -c "$image" > "$out/$name.img.xz"
  echo "$name: $(stat -c %s "$out/$name.img.xz") bytes compressed"
}

# 512-byte sectors, 4 KiB clusters, the heap not on a chunk boundary (-b 4K):
# clusters of 4 KiB cross no 64 KiB boundary, but the heap's start is tested.
fixture exfat-512-4k 512 $((8 * 1024 * 1024 + 3 * 512)) -c 4K -b 4K <<'LIST'
dead OLD/STALE1.BIN 150000
live DOCS/REPORT.TXT 3000
live DOCS/NOTES/PLAN.TXT 70000
dead OLD/STALE2.BIN 300000
live MEDIA/CLIP01.BIN 400000
live MEDIA/CLIP02.BIN 131072
live README.TXT 600
LIST

# 4096-byte sectors (the loop device's), 128 KiB clusters: a cluster spans
# two chunks.
fixture exfat-4096-128k 4096 $((16 * 1024 * 1024 + 3 * 4096)) -c 128K <<'LIST'
dead OLD/STALE1.BIN 500000
live DOCS/REPORT.TXT 5000
live MEDIA/CLIP01.BIN 900000
dead OLD/STALE2.BIN 200000
live MEDIA/DEEP/CLIP02.BIN 262300
LIST
