#!/usr/bin/env bash
# Builds Fendrik for 64-bit Windows on Debian, runs its tests under Wine, checks
# the window under Wine and a virtual X server, and packs
# dist/fendrik-<version>-windows-x86_64.zip, which runs on a Windows machine
# with nothing else installed.
#
# Everything comes from Debian: MinGW-w64 (posix threads), Wine, GoogleTest's
# sources and Qt 6 built from Debian's own qt6-base source package against the
# host's Qt tools. Qt and GoogleTest are built once into a cache outside the
# checkout (FENDRIK_WINDOWS_CACHE, default /var/cache/fendrik-windows), keyed
# by their version and options, and reused after that.
#
#   scripts/build-windows.sh            set up, build, test, check, pack
#   scripts/build-windows.sh qt         only set up and build Qt into the cache
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache=${FENDRIK_WINDOWS_CACHE:-/var/cache/fendrik-windows}
jobs=$(nproc)
what=${1:-all}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
mkdir -p "$cache"

log() { echo "-- $*"; }

# --- Debian packages --------------------------------------------------------
./scripts/setup-debian.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 dpkg-dev zip unzip

# --- GoogleTest for Windows from Debian's googletest sources -----------------
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest_prefix=$cache/googletest-${gtest_version//[^A-Za-z0-9.]/_}-$(x86_64-w64-mingw32-g++-posix -dumpversion)
if [ ! -f "$gtest_prefix/.complete" ]; then
  log "building GoogleTest $gtest_version for Windows"
  rm -rf "$cache/gtest-work"
  cmake -S /usr/src/googletest -B "$cache/gtest-work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -Dgtest_disable_pthreads=OFF > /dev/null
  cmake --build "$cache/gtest-work" -j "$jobs" > /dev/null
  cmake --install "$cache/gtest-work" > /dev/null
  touch "$gtest_prefix/.complete"
  rm -rf "$cache/gtest-work"
fi
log "GoogleTest for Windows: $gtest_prefix"
[ "$what" = gtest ] && exit 0

# --- Qt 6 for Windows from Debian's qt6-base source --------------------------
# The same version as the host's Qt, whose moc, rcc and uic the cross build uses.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  # Debian removed the tablet headers from its source.
  -DFEATURE_tabletevent=OFF
  # Only Core, Gui, Widgets, Network (QLocalServer) and Testlib are needed.
  -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_ssl=OFF -DFEATURE_openssl=OFF
  -DFEATURE_zstd=OFF -DFEATURE_freetype=OFF -DFEATURE_direct2d=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  # Nothing of the host's libraries: the bundled copies are built for Windows.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
)
qt_key=$(printf '%s\n' "$qt_version" "${qt_options[@]}" "$(x86_64-w64-mingw32-g++-posix --version | head -1)" \
  | sha256sum | cut -c1-12)
qt_prefix=$cache/qt-${qt_version//[^A-Za-z0-9.]/_}-$qt_key
if [ ! -f "$qt_prefix/.complete" ]; then
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    log "adding a deb-src entry for $suite"
    cat > /etc/apt/sources.list.d/fendrik-deb-src.sources <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
  fi
  work=$cache/qt-work
  rm -rf "$work" && mkdir -p "$work/src"
  log "fetching qt6-base $qt_version source"
  (cd "$work/src" && apt-get source -qq --download-only "qt6-base=$qt_version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  dpkg-source -x --no-check "$work"/src/qt6-base_*.dsc "$work/qtbase" >/dev/null 2>&1
  # Qt 6.4's Windows platform plugin takes the code of dynamic OpenGL without
  # OpenGL, and the DirectWrite font database that QtGui builds only with
  # Direct2D: both are left out where their feature is.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$work/qtbase/src/plugins/platforms/windows/qwindowswindow.cpp"
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$work/qtbase/src/plugins/platforms/windows/qwindowsintegration.cpp"
  # The Schannel TLS plugin is built even without TLS, and fails then.
  sed -i 's/^if (QT_FEATURE_schannel)$/if (QT_FEATURE_schannel AND QT_FEATURE_ssl)/' \
    "$work/qtbase/src/plugins/tls/CMakeLists.txt"
  log "configuring Qt $qt_version for Windows"
  cmake -S "$work/qtbase" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt_prefix" "${qt_options[@]}" > "$work/configure.log" 2>&1 \
    || { tail -40 "$work/configure.log"; exit 1; }
  log "building Qt for Windows (about half an hour on two cores, once)"
  start=$SECONDS
  cmake --build "$work/build" -j "$jobs" > "$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 1; }
  cmake --install "$work/build" > /dev/null
  touch "$qt_prefix/.complete"
  log "Qt built in $(( (SECONDS - start) / 60 )) min"
  rm -rf "$work"
fi
log "Qt for Windows: $qt_prefix"
[ "$what" = qt ] && exit 0


# --- Wine ----------------------------------------------------------------------
# A prefix of the build's own, no debug channels.
export WINEPREFIX=${FENDRIK_WINEPREFIX:-$root/build/windows-wine}
export WINEDEBUG=-all
mingw_dlls=("/usr/lib/gcc/x86_64-w64-mingw32/$(x86_64-w64-mingw32-g++-posix -dumpversion)"/{libgcc_s_seh-1.dll,libstdc++-6.dll}
            /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll)
# Where Wine finds the DLLs of Qt and of the MinGW runtime while testing.
export WINEPATH="Z:$qt_prefix/bin;Z:$(dirname "${mingw_dlls[0]}");Z:$(dirname "${mingw_dlls[2]}")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  log "making the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
fi
# Wine links the user's Documents, Desktop and other folders to the host's
# home; the tests write into Documents, so they become the prefix's own.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
# A server still running is waited for (wineboot's ends by itself within
# seconds), or ended (one left persistent by an earlier run).
timeout 30 wineserver -w >/dev/null 2>&1 </dev/null || wineserver -k >/dev/null 2>&1 </dev/null || true
x_server=
trap 'wineserver -k >/dev/null 2>&1 || true; [ -z "$x_server" ] || kill "$x_server" 2>/dev/null || true' EXIT

# --- Fendrik for Windows -------------------------------------------------------
samples_option=-DFENDRIK_REQUIRE_REAL_SAMPLES=${FENDRIK_REQUIRE_REAL_SAMPLES:-OFF}
build=build/windows
log "building Fendrik for Windows in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DFENDRIK_WINDOWS_PREFIXES="$qt_prefix;$gtest_prefix" -DCMAKE_PREFIX_PATH="$qt_prefix;$gtest_prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/wine -DFENDRIK_BENCH=OFF "$samples_option" \
  | { grep '^-- Skipped:' || true; }
cmake --build "$build" -j "$jobs"

if [ "$what" = all ]; then
  # Qt for Windows has no offscreen platform (it needs FreeType): the window
  # tests open real windows under Wine on a virtual X server. One server for
  # every Windows program of the run, started before Wine's desktop, which
  # stays on the display it first saw.
  for display in $(seq 90 199); do [ -e "/tmp/.X$display-lock" ] || break; done
  Xvfb ":$display" -screen 0 1440x900x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 </dev/null &
  x_server=$!
  export DISPLAY=":$display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  # A persistent wineserver with its output away from ours, and Wine's own
  # services started before the tests: they keep the standard output of the
  # program that starts them open, which must not be a pipe ctest waits on.
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  log "tests under Wine"
  CTEST_OUTPUT_ON_FAILURE=1 ctest --test-dir "$build" -j "$jobs" --timeout 600 \
    | tee "$build/ctest.log" | grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || { tail -30 "$build/ctest.log"; exit 1; }
  grep -q '100% tests passed' "$build/ctest.log" || exit 1
fi

# --- the zip -------------------------------------------------------------------
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=fendrik-$version-windows-x86_64
stage=$build/$name
rm -rf "$stage" && mkdir -p "$stage/platforms" "$stage/styles"
cp "$build/src/app/fendrik.exe" "$build/src/cli/fendrik-cli.exe" "$stage/"
cp "$qt_prefix"/bin/Qt6{Core,Gui,Widgets,Network}.dll "$stage/"
cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "${mingw_dlls[@]}" "$stage/"
mkdir -p dist
rm -f "dist/$name.zip"
(cd "$build" && zip -qr9 "$root/dist/$name.zip" "$name")
log "dist/$name.zip: $(du -k "dist/$name.zip" | cut -f1) KiB"

if [ "$what" = all ]; then
  log "the unpacked zip under Wine (its own DLLs only) and the window under a virtual X server"
  WINEPATH= ./scripts/check-windows-zip.sh "dist/$name.zip"
fi
