#!/usr/bin/env bash
# Fails when code outside a folder named platform/ knows which system it runs
# on: a system macro (_WIN32, __linux__, ...) or a system header (unistd.h,
# windows.h, sys/..., ...). Everything system-specific lives in
# src/properties/platform/ (and, for tests, tests/common/platform/).
set -euo pipefail
cd "$(dirname "$0")/.."
# The benchmarks and fuzz targets are Linux programs (never built for
# Windows); they may use system headers, but no system macro either.
macros='^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__|__MINGW64__|__CYGWIN__)\b'
headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|fcntl|dirent|iconv|pwd|windows|shellapi|io|direct|signal|sys/[a-z_]+)\.h>'
found=$({ grep -rnE "$macros" src tests bench tools --include='*.h' --include='*.cpp' || true
          grep -rnE "$headers" src tests --include='*.h' --include='*.cpp' | grep -v '^tests/fuzz/' || true; } \
        | grep -v '/platform/' || true)
if [ -n "$found" ]; then
  echo "system-specific code outside platform/:" >&2
  echo "$found" >&2
  exit 1
fi
echo "platform: no system macro or system header outside platform/"
