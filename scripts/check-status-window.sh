#!/usr/bin/env bash
# Drives the real window under a virtual X server with real key presses and
# mouse clicks: search a folder of generated documents (Alt+S), type a filter
# into the "Dateiname" box and leave it with Tab, choose "3 - freigegeben",
# press "Setzen", end with Alt+E. Then checks the files with the independent
# reader: exactly the documents whose names hold the filter text carry
# Status 3, Username "Vodra" and Security 4; every other file is unchanged.
# Usage: scripts/check-status-window.sh [program]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/window-check-home.sh
docs="$work/docs"
mkdir -p "$docs"

/usr/bin/python3 tools/gen/generate_samples.py --out "$docs" --documents 30 --seed 17 >/dev/null
rm -f "$docs/manifest.json"
filter=0001
# The start settings: the folder, all four types ticked, no filter texts.
cat > "$home/config/Fendriken/Fendriken.ini" <<INI
[Einstellungen]
Pfad=$docs
PAR=1
ASM=1
PSM=1
DFT=1
SE=1
INI
(cd "$docs" && sha256sum -- * > "$work/before.sha")

export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" FENDRIK_TEST_LOG=1
timeout 300 xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" bash -c '
  source scripts/window-drive.sh "$1" "$2"
  filter=$3
  xdotool key --window "$wid" alt+s
  for _ in $(seq 600); do [ -s "$HOME/Documents/Fendrik_0.lst" ] && break; sleep 0.1; done
  [ -s "$HOME/Documents/Fendrik_0.lst" ] || { echo "no list file after the search"; exit 1; }
  sleep 1
  # The "Dateiname" filter box: Frame2 (100, 100) + box (250, 500), 1500 x 285.
  click 73 49
  xdotool type --delay 50 "$filter"
  xdotool key Tab
  sleep 0.5
  # The status list (16500, 11000): first entry, then three down.
  click 1120 742
  xdotool key Down Down Down
  sleep 0.3
  # "Setzen" (13500, 11450), 2500 x 400.
  click 983 776
  # The status change is done when TxtWahl and Label6 are empty again;
  # the end key waits for it since the button stays disabled until then.
  sleep 2
  end_program
' _ "$program" "$work/log" "$filter"

# Which files changed, and what the independent reader finds in them.
(cd "$docs" && sha256sum -- *) > "$work/after.sha"
/usr/bin/python3 - "$docs" "$filter" "$work/before.sha" "$work/after.sha" <<'PY'
import json, os, subprocess, sys
docs, filt, before_file, after_file = sys.argv[1:5]
def hashes(path):
    out = {}
    for line in open(path, encoding="utf-8"):
        digest, name = line.rstrip("\n").split("  ", 1)
        out[name] = digest
    return out
before, after = hashes(before_file), hashes(after_file)
names = sorted(before)
listed = [n for n in names if filt.lower() in n.lower()]
assert listed and len(listed) < len(names), (filt, names)
view = json.loads(subprocess.check_output(
    ["/usr/bin/python3", "tests/properties/olefile_status.py"] + [os.path.join(docs, n) for n in names]))
bad = []
for n in names:
    v = view[os.path.join(docs, n)]
    if n in listed:
        if (str(v["status"]), v["username"], str(v["security"])) != ("3", "Vodra", "4"):
            bad.append(f"{n}: not written ({v['status']}, {v['username']}, {v['security']})")
    elif before[n] != after[n]:
        bad.append(f"{n}: changed although filtered out")
if bad:
    print("\n".join(bad))
    sys.exit(1)
print(f"window check: {len(listed)} of {len(names)} documents written through the window, the others unchanged")
PY
