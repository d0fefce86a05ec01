#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the demo need,
# asking apt only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest          # native build and tests
  libxxhash-dev                              # the read-back check's hash, header-only
  g++-mingw-w64-x86-64-posix mingw-w64-tools # Windows cross build
  wine wine64 xvfb                           # Windows tests and the demo without a display
  fonts-wine                                 # Marlett: the caption's buttons under Wine
  imagemagick fonts-wqy-microhei             # screenshots, CJK glyphs under Wine
  dosfstools mtools                          # a real FAT32 volume for the Sector Copy test
  exfatprogs ntfs-3g xz-utils                # the used-space tests: exFAT and NTFS images, checked;
                                             # the exFAT fixtures unpacked (making them also needs exfat-fuse)
  util-linux procps                          # flock, setsid; pkill
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
