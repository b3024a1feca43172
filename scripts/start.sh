#!/usr/bin/env bash
# Sets everything up, builds the program, writes a folder of sample documents
# to search (~/Fendrik-Beispiele) and starts the window program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
# The program alone: the tests need the real sample documents beside the repository.
cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENDRIK_TESTS=OFF >/dev/null
cmake --build build/app -j "$(nproc)" --target fendrik
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
exec build/app/src/app/fendrik
