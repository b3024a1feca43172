#!/usr/bin/env bash
# Sets everything up and runs every test: the layer check of the includes, a
# normal build with all tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, the Debian
# package installed, checked and purged again (scripts/check-debian-package.sh;
# FENDRIK_PACKAGE=OFF leaves it out), and the Windows build with its tests
# under Wine and the check of its zip (scripts/build-windows.sh;
# FENDRIK_WINDOWS=OFF leaves it out).
#
# The tests of real Solid Edge documents need ../shared/samples/real beside the
# repository; without it they are skipped (one line says so). With
# FENDRIK_REQUIRE_REAL_SAMPLES=ON in the environment, as in CI, a missing
# folder fails instead.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh

echo "== include layers, and nothing system-specific outside platform/"
./scripts/check-layers.sh
./scripts/check-platform.sh

samples_option=-DFENDRIK_REQUIRE_REAL_SAMPLES=${FENDRIK_REQUIRE_REAL_SAMPLES:-OFF}

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

echo "== build and test (release with debug info)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$samples_option" | { grep '^-- Skipped:' || true; }
cmake --build build/release -j "$jobs"
ctest --test-dir build/release -j "$jobs" --timeout 600

echo "== search from the window under a virtual X server (Alt+S writes the list file)"
./scripts/check-search-xvfb.sh build/release/src/app/fendrik

echo "== filter and status change from the window under a virtual X server (keys and clicks)"
./scripts/check-status-window.sh build/release/src/app/fendrik

echo "== odd names, reload, filter and status change from the window under a virtual X server"
./scripts/check-names-window.sh build/release/src/app/fendrik

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFENDRIK_SANITIZE=ON "$samples_option" >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize -j "$jobs" --timeout 900 -LE nosanitize

echo "== fuzz targets (bounded time)"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DFENDRIK_FUZZ=ON -DFENDRIK_GUI=OFF -DFENDRIK_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
for fuzzer in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  corpus=$(mktemp -d)
  seeds="tests/fuzz/seeds/$(basename "$fuzzer")"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "-- $(basename "$fuzzer")"
  "$fuzzer" -max_total_time="${FENDRIK_FUZZ_SECONDS:-60}" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 "$corpus" 2>&1 | tail -4
  rm -rf "$corpus"
done
if [ "${FENDRIK_PACKAGE:-ON}" != OFF ]; then
  echo "== Debian package: build, lintian, install, both programs, purge"
  ./scripts/check-debian-package.sh
fi
if [ "${FENDRIK_WINDOWS:-ON}" != OFF ]; then
  echo "== Windows: MinGW build, tests under Wine, the zip and its check under Wine"
  ./scripts/build-windows.sh
fi
echo "== all tests passed"
