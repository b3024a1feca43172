#!/usr/bin/env bash
# Checks the search as a user starts it: the window program runs under a
# virtual X server with a fresh home whose settings point at a folder of
# generated documents with all four types ticked; Alt+S (the "&Suchen"
# button) is pressed and the list file Fendrik_0.lst must appear in the
# documents folder with one line per document. Then Alt+E ends the program,
# which must exit by itself.
# Usage: scripts/check-search-xvfb.sh [path-to-fendrik]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/window-check-home.sh
python3 tools/gen/generate_samples.py --out "$work/cad" --documents 25 --nested --seed 4 --model-bytes 2048 >/dev/null
rm -f "$work/cad/manifest.json"
cat >"$home/config/Fendriken/Fendriken.ini" <<INI
[Einstellungen]
Pfad=$work/cad
PAR=1
ASM=1
PSM=1
DFT=1
sortiert=1
Unterordner=1
INI

HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" FENDRIK_TEST_LOG=1 \
  timeout 300 xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" bash -c '
    set -euo pipefail
    "$1" 2>"$2/log" &
    pid=$!
    for _ in $(seq 300); do grep -q "window shown" "$2/log" && break; sleep 0.1; done
    # Bounded: a window that never appears fails the check instead of hanging it.
    window=
    for _ in $(seq 300); do
      window=$(xdotool search --pid "$pid" --onlyvisible --name Fendrel 2>/dev/null | head -1 || true)
      [ -n "$window" ] && break
      sleep 0.1
    done
    [ -n "$window" ] || { echo "check-search-xvfb: the window did not appear" >&2; kill "$pid"; exit 1; }
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key --window "$window" alt+s
    for _ in $(seq 600); do [ -f "$3" ] && grep -q "search finished" "$2/log" && break; sleep 0.1; done
    xdotool key --window "$window" alt+e
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "fendrik did not end after Alt+E" >&2; exit 1; fi
  ' _ "$program" "$work" "$home/Documents/Fendrik_0.lst"

list="$home/Documents/Fendrik_0.lst"
if [ ! -f "$list" ]; then
  echo "check-search-xvfb: no list file after Alt+S" >&2
  cat "$work/log" >&2
  exit 1
fi
lines=$(grep -c $'\r$' "$list" || true)
if [ "$lines" != 25 ]; then
  echo "check-search-xvfb: $lines lines in the list file, 25 expected" >&2
  exit 1
fi
echo "check-search-xvfb: Alt+S wrote Fendrik_0.lst with $lines rows"
