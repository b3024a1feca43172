#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt skips what is already there. Further packages a
# build needs (the Windows build) may be named as arguments.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-dev
  python3 python3-olefile python3-openpyxl
  libxlsxwriter-dev zlib1g-dev
  xvfb xauth x11-utils imagemagick xdotool
  fuse3 libfuse3-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-symbola
  hyperfine
  dpkg-dev lintian desktop-file-utils appstream librsvg2-bin
  "$@"
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
