#!/usr/bin/env bash
# Builds Fendrik for 64-bit Windows on Debian, runs its tests under Wine, checks
# the window under Wine and a virtual X server, and packs
# dist/fendrik-<version>-windows-x86_64.zip, which runs on a Windows machine
# with nothing else installed.
#
# Everything comes from Debian: MinGW-w64 (posix threads), Wine, GoogleTest's
# sources, Qt 6 built from Debian's own qt6-base source package against the
# host's Qt tools, and libxlsxwriter built from Debian's own libxlsxwriter
# source package against MinGW's zlib (libz-mingw-w64-dev). Qt, libxlsxwriter
# and GoogleTest are built once into a cache outside the checkout
# (FENDRIK_WINDOWS_CACHE, default /var/cache/fendrik-windows), keyed by their
# version and options, and reused after that.
#
#   scripts/build-windows.sh              set up, build, test, check, pack
#   scripts/build-windows.sh qt           only set up and build Qt into the cache
#   scripts/build-windows.sh xlsxwriter   ... and libxlsxwriter
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
./scripts/setup-debian.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 dpkg-dev zip unzip \
  libz-mingw-w64-dev patch

# Debian's source packages: a deb-src entry for the system's suite, unless
# there is one; fetch_source PACKAGE VERSION DIR unpacks one into DIR.
use_debian_sources() {
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    local suite
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
}
fetch_source() {
  local package=$1 version=$2 dir=$3
  use_debian_sources
  log "fetching $package $version source"
  mkdir -p "$dir.download"
  (cd "$dir.download" && apt-get source -qq --download-only "$package=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  dpkg-source -x --no-check "$dir.download/${package}_"*.dsc "$dir" >/dev/null 2>&1
  rm -rf "$dir.download"
}

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
  work=$cache/qt-work
  rm -rf "$work" && mkdir -p "$work"
  fetch_source qt6-base "$qt_version" "$work/qtbase"
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

# --- libxlsxwriter for Windows from Debian's libxlsxwriter source ------------
# A static library with its bundled minizip, against MinGW's static zlib: the
# programs need no DLL for it.
xlsx_version=$(dpkg-query -W -f='${source:Version}' libxlsxwriter-dev)
mingw_zlib_args=(-DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include)
xlsx_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DUSE_SYSTEM_MINIZIP=OFF
  # Numbers are written with its own conversion, not with the C library's
  # printf, whose decimal separator follows the thread's locale (a German one
  # would write 46000,5 into the sheet and so a file Excel cannot read).
  -DUSE_DTOA_LIBRARY=ON
  "${mingw_zlib_args[@]}"
)
# libxlsxwriter takes file names as UTF-8, but under MinGW three places of its
# source hand them to the ANSI functions, which read them in the ANSI code
# page: C:\Users\Jörg\Teile.xlsx would become C:\Users\JÃ¶rg\Teile.xlsx, and
# a character outside the code page fails. These edits make them use the
# UTF-16 functions.
xlsx_edits() {
  # utility.c (lxw_fopen) and packager.c (opening the zip) undefine _WIN32
  # under MinGW and so take fopen() and minizip's fopen64(); with _WIN32 kept
  # they convert the name to UTF-16 for _wfopen() and CreateFileW().
  sed -i '/^#ifdef __MINGW32__$/{N;N;/\n#undef _WIN32\n#endif$/d}' src/utility.c src/packager.c
  if grep -rn 'undef _WIN32' src include third_party; then
    echo "libxlsxwriter's source still undefines _WIN32" >&2; exit 1
  fi
  # minizip's Win32 file functions (iowin32.c), which packager.c then uses,
  # are built only for MSVC.
  sed -i '/^    if(MSVC)$/{N;s/^    if(MSVC)\(\n *list(APPEND LXW_SOURCES third_party\/minizip\/iowin32.c)\)$/    if(WIN32)\1/}' CMakeLists.txt
  grep -B1 'minizip/iowin32.c' CMakeLists.txt | grep -q 'if(WIN32)' \
    || { echo "libxlsxwriter's CMakeLists.txt still leaves out iowin32.c" >&2; exit 1; }
  # The temporary files (tmpfileplus.c) go into %TMP% or %TEMP%, read with the
  # ANSI getenv() and opened with _open(): a user's TEMP folder below
  # C:\Users\<name> with a character outside the ANSI code page is missed and
  # the files land in the current folder, or nowhere. Read as UTF-16 and
  # opened with _wopen() they go where Windows keeps temporary files.
  patch -p1 --quiet --no-backup-if-mismatch <<'PATCH'
--- a/third_party/tmpfileplus/tmpfileplus.c
+++ b/third_party/tmpfileplus/tmpfileplus.c
@@ -107,7 +107,7 @@
 /* MSVC nags to enforce ISO C++ conformant function names with leading "_",
  * so we define our own function names to avoid whingeing compilers...
  */
-#define OPEN_ _open
+#define OPEN_ open_utf8
 #define FDOPEN_ _fdopen
 #else
 #define OPEN_ open
@@ -152,6 +152,71 @@
 	return s;
 }
 
+#ifdef _WIN32
+/* Paths are UTF-8, as lxw_fopen() takes them, and reach Windows as UTF-16:
+ * the ANSI functions would miss a folder whose name has a character outside
+ * the ANSI code page, such as a user's TEMP folder below C:\Users\<name>. */
+#include <windows.h>
+
+/** The UTF-16 copy of a UTF-8 string, allocated with malloc, or NULL */
+static wchar_t *wide_from_utf8(const char *s)
+{
+	wchar_t *w;
+	int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, NULL, 0);
+	if (n <= 0)
+		return NULL;
+	w = malloc(n * sizeof(wchar_t));
+	if (w && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, w, n) != n)
+	{
+		free(w);
+		w = NULL;
+	}
+	return w;
+}
+
+static int open_utf8(const char *path, int oflag, int pmode)
+{
+	int fd;
+	wchar_t *wpath = wide_from_utf8(path);
+	if (!wpath)
+	{
+		errno = EINVAL;
+		return -1;
+	}
+	fd = _wopen(wpath, oflag, pmode);
+	free(wpath);
+	return fd;
+}
+
+/** Return 1 if path is a valid directory otherwise 0 */
+static int is_valid_dir(const char *path)
+{
+	DWORD attributes;
+	wchar_t *wpath = wide_from_utf8(path);
+	if (!wpath)
+		return 0;
+	attributes = GetFileAttributesW(wpath);
+	free(wpath);
+	return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
+}
+
+/** Read an environment variable as UTF-8 into buf */
+static char *getenv_save(const char *varname, char *buf, size_t bufsize)
+{
+	wchar_t value[MAX_PATH];
+	wchar_t *wname = wide_from_utf8(varname);
+	DWORD n = wname ? GetEnvironmentVariableW(wname, value, MAX_PATH) : 0;
+	free(wname);
+	buf[0] = '\0';
+	if (n == 0 || n >= MAX_PATH
+	    || WideCharToMultiByte(CP_UTF8, 0, value, -1, buf, (int)bufsize, NULL, NULL) == 0)
+	{
+		buf[0] = '\0';
+		return NULL;
+	}
+	return buf;
+}
+#else
 /** Return 1 if path is a valid directory otherwise 0 */
 static int is_valid_dir(const char *path)
 {
@@ -175,6 +240,7 @@
 	}
 	return NULL;
 }
+#endif
 
 /**
  * Try and create a randomly-named file in directory `tmpdir`.
@@ -271,8 +337,8 @@
 	const char *pfx = (prefix ? prefix : "tmp.");
 	char *tempdirs[12] = { 0 };
 #ifdef _WIN32
-	char env1[FILENAME_MAX+1] = { 0 };
-	char env2[FILENAME_MAX+1] = { 0 };
+	char env1[3*MAX_PATH] = { 0 };
+	char env2[3*MAX_PATH] = { 0 };
 #else
 	char env3[FILENAME_MAX+1] = { 0 };
 #endif
PATCH
}
xlsx_key=$(printf '%s\n' "$xlsx_version" "${xlsx_options[@]}" "$(declare -f xlsx_edits)" \
  "$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)" "$(x86_64-w64-mingw32-gcc-posix --version | head -1)" \
  | sha256sum | cut -c1-12)
xlsx_prefix=$cache/xlsxwriter-${xlsx_version//[^A-Za-z0-9.]/_}-$xlsx_key
if [ ! -f "$xlsx_prefix/.complete" ]; then
  work=$cache/xlsxwriter-work
  rm -rf "$work" && mkdir -p "$work"
  fetch_source libxlsxwriter "$xlsx_version" "$work/src"
  (cd "$work/src" && xlsx_edits)
  log "building libxlsxwriter $xlsx_version for Windows"
  rm -rf "$xlsx_prefix"
  cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$xlsx_prefix" "${xlsx_options[@]}" > "$work/configure.log" 2>&1 \
    || { tail -40 "$work/configure.log"; exit 1; }
  cmake --build "$work/build" -j "$jobs" > "$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 1; }
  cmake --install "$work/build" > /dev/null
  touch "$xlsx_prefix/.complete"
  rm -rf "$work"
fi
log "libxlsxwriter for Windows: $xlsx_prefix"
[ "$what" = xlsxwriter ] && exit 0


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
  -DFENDRIK_WINDOWS_PREFIXES="$qt_prefix;$xlsx_prefix;$gtest_prefix" \
  -DCMAKE_PREFIX_PATH="$qt_prefix;$xlsx_prefix;$gtest_prefix" "${mingw_zlib_args[@]}" \
  -DFENDRIK_XLSXWRITER_LOCALE_FREE_NUMBERS=ON \
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
