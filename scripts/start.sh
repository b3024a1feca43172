#!/usr/bin/env bash
# Sets everything up, builds the program, writes a folder of sample documents
# to search (~/Fendrik-Beispiele) and starts the window program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
samples="$HOME/Fendrik-Beispiele"
if [ ! -d "$samples" ]; then
  /usr/bin/python3 tools/gen/generate_samples.py --out "$samples" --documents 60 --big 2 --nested
fi
# At the very first start the program looks in the sample folder for all types.
settings="${XDG_CONFIG_HOME:-$HOME/.config}/Fendriken/Fendriken.ini"
if [ ! -e "$settings" ]; then
  mkdir -p "$(dirname "$settings")"
  printf '[Einstellungen]\nPfad=%s\nSE=1\n' "$samples" > "$settings"
fi
exec build/release/src/app/fendrik
