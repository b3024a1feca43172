#!/usr/bin/env bash
# Builds the Debian package dist/fendrik_<version>_amd64.deb with CPack's DEB
# generator: both programs (stripped, built with Debian's hardening flags),
# desktop entry, AppStream metadata, icons, manual pages, copyright and
# changelog (packaging/). The dependencies come from dpkg-shlibdeps.
# The build has a folder of its own, build/package, without tests and
# benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/package

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DFENDRIK_PACKAGE=ON -DFENDRIK_TESTS=OFF -DFENDRIK_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=fendrik_${version}_$(dpkg --print-architecture).deb
mkdir -p dist
cp "$build/cpack/$deb" "dist/$deb"
echo "dist/$deb: $(du -k "dist/$deb" | cut -f1) KiB"
