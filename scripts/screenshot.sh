#!/usr/bin/env bash
# Starts the window program under a virtual X server with a fresh home
# folder, takes a picture of the screen and writes it to shot.png (or the
# file given as first argument).
# Usage: scripts/screenshot.sh [out.png] [program]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-shot.png}")
program=$(realpath "${2:-build/release/src/app/fendrik}")
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/runtime"
chmod 700 "$home/runtime"
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
  xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" bash -c '
    "$1" &
    pid=$!
    sleep "${FENDRIK_SHOT_WAIT:-3}"
    import -window root "$2"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  ' _ "$program" "$out"
echo "$out"
