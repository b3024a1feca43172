#!/usr/bin/env bash
# Drives the real window under a virtual X server: odd file names beside the
# names they would turn into (LF, CR and TAB inside a name, a Latin-1 name,
# also inside a UTF-8 folder), search (Alt+S), reload the list file (double
# click on the filter frame), type "0" into the "Status" filter and leave it
# with Tab, choose "2 - in Prüfung", press "Setzen", end with Alt+E. Then
# checks the files with the independent reader: exactly the documents with
# status 0 carry Status 2 and Username "Vodra", every other file is unchanged.
# Usage: scripts/check-names-window.sh [program]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/window-check-home.sh
docs="$work/docs"
cli=$(dirname "$program")/../cli/fendrik-cli
mkdir -p "$docs"

/usr/bin/python3 tools/gen/generate_samples.py --out "$work/gen" --documents 1 --seed 23 >/dev/null
original=$(find "$work/gen" -name '*.par' | head -1)
# name (bytes, as Python escapes) and the status it starts with
/usr/bin/python3 - "$original" "$docs" "$cli" <<'PY'
import os, shutil, subprocess, sys
original, docs, cli = sys.argv[1], os.fsencode(sys.argv[2]), sys.argv[3]
names = [(b"a\nb.par", 0), (b"a\rb.par", 0), (b"a\tb.par", 0), (b"a b.par", 4), (b"\xe4.par", 0), ("ä.par".encode(), 4),
         ("Prüfung/".encode() + b"\xe4.par", 0), ("Prüfung/ä.par".encode(), 4)]
for name, status in names:
    path = os.path.join(docs, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copyfile(original, path)
    subprocess.run([cli, "status", str(status), path], check=True, stdout=subprocess.DEVNULL)
PY
cat > "$home/config/Fendriken/Fendriken.ini" <<INI
[Einstellungen]
Pfad=$docs
PAR=1
SE=0
Unterordner=1
INI
/usr/bin/python3 - "$docs" "$work/before.json" <<'PY'
import hashlib, json, os, sys
docs = os.fsencode(sys.argv[1])
out = {}
for folder, _, files in os.walk(docs):
    for f in files:
        p = os.path.join(folder, f)
        out[os.fsdecode(p)] = hashlib.sha256(open(p, "rb").read()).hexdigest()
json.dump(out, open(sys.argv[2], "w"))
PY

export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" FENDRIK_TEST_LOG=1
timeout 300 xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" bash -c '
  source scripts/window-drive.sh "$1" "$2"
  xdotool key --window "$wid" alt+s
  wait_log "search finished: 8 rows"
  # The filter frame (100, 100), 20500 x 1250: a double click left of its
  # first column reloads the list file.
  xdotool mousemove --window "$wid" 13 83 click --repeat 2 --delay 80 1
  wait_log "list file reloaded: 8 rows"
  # The "Status" filter box: Frame2 (100, 100) + box (18750, 500), 1500 x 285.
  click 1307 49
  xdotool type --delay 50 "0"
  xdotool key Tab
  sleep 0.5
  # The status list (16500, 11000): first entry, then two down.
  click 1120 742
  xdotool key Down Down
  sleep 0.3
  # "Setzen" (13500, 11450), 2500 x 400.
  click 983 776
  wait_log "status change ended: 5 of 5 written"
  end_program
' _ "$program" "$work/log"

# Which files changed, and what the independent reader finds in copies of
# them under plain names (it takes its file names as text).
/usr/bin/python3 - "$docs" "$work/before.json" "$work" <<'PY'
import hashlib, json, os, shutil, subprocess, sys
docs, before_file, work = os.fsencode(sys.argv[1]), sys.argv[2], sys.argv[3]
before = json.load(open(before_file))
written = {b"a\nb.par", b"a\rb.par", b"a\tb.par", b"\xe4.par", "Prüfung/".encode() + b"\xe4.par"}
plain = os.path.join(work, "plain")
os.makedirs(plain)
bad, copies = [], {}
for key in sorted(before):
    path = os.fsencode(key)
    name = os.path.relpath(path, docs)
    copies[name] = os.path.join(plain, f"{len(copies)}.par")
    shutil.copyfile(path, copies[name])
view = json.loads(subprocess.check_output(["/usr/bin/python3", "tests/properties/olefile_status.py"] + list(copies.values())))
for key in sorted(before):
    path = os.fsencode(key)
    name = os.path.relpath(path, docs)
    v = view[copies[name]]
    now = hashlib.sha256(open(path, "rb").read()).hexdigest()
    if name in written:
        if (str(v.get("status")), v.get("username")) != ("2", "Vodra"):
            bad.append(f"{name!r}: not written ({v})")
    elif now != before[key]:
        bad.append(f"{name!r}: changed although not listed")
if bad:
    print("\n".join(bad))
    sys.exit(1)
print(f"window check: {len(written)} of {len(before)} odd names written through the window after a reload, the others unchanged")
PY
