#!/usr/bin/env bash
# Checks the Windows zip as a user on Windows would use it, under Wine, with
# nothing but what the zip holds (no Qt or MinGW on Wine's search path):
#  1. fendrik-cli.exe scan gives the rows of the Linux build, paths in
#     Windows form, for generated and (when there) real documents;
#  2. fendrik-cli.exe status 3 writes exactly the bytes the Linux build
#     writes (Status, Username, Security and nothing else);
#  3. a document another program holds open without write sharing is
#     reported, exit status 1, left byte-identical, and the next is written;
#  4. fendrik.exe shows its window under a virtual X server, Alt+S fills the
#     list and writes Fendrik_0.lst, Alt+E ends it and writes the settings;
#     a screenshot of the window is left in build/windows/window-wine.png.
# Usage: scripts/check-windows-zip.sh dist/fendrik-<version>-windows-x86_64.zip
# Needs WINEPREFIX (as scripts/build-windows.sh sets it) and the Windows build
# folder build/windows (for hold_open.exe); uses build/release's fendrik-cli
# as the Linux side when it is there.
set -euo pipefail
cd "$(dirname "$0")/.."
zip=$(realpath "$1")
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=-all
# Wine's desktop stays on the display its first program saw: without the
# caller's virtual X server, the check runs on one of its own with Wine
# started afresh there.
if [ -z "${DISPLAY:-}" ]; then
  wineserver -k >/dev/null 2>&1 </dev/null || true
  exec xvfb-run -a -s "-screen 0 1440x900x24 -dpi 96" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-windows-zip: $*" >&2; exit 1; }
# A Unix path as Wine's drive Z: names it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

unzip -q "$zip" -d "$work/zip"
app=$(echo "$work"/zip/*/)
cli=${app}fendrik-cli.exe
linux_cli=build/release/src/cli/fendrik-cli
[ -x "$linux_cli" ] || linux_cli=

python3 tools/gen/generate_samples.py --out "$work/cad" --documents 25 --nested --seed 4 --model-bytes 2048 >/dev/null
rm -f "$work/cad/manifest.json"

# 1. scan: the Linux rows with the paths in Windows form.
scan_compare() {
  local folder=$1 label=$2
  local rc=0
  wine "$cli" scan "$(winpath "$folder")" --sorted >"$work/win.txt" 2>"$work/win.err" </dev/null || rc=$?
  [ $rc -eq 0 ] || { cat "$work/win.err" >&2; fail "scan of $label: exit status $rc"; }
  local rows
  rows=$(grep -c $'\r$' "$work/win.txt" || true)
  [ "$rows" -gt 0 ] || fail "scan of $label: no rows"
  if [ -n "$linux_cli" ]; then
    "$linux_cli" scan "$folder" --sorted >"$work/linux.txt" 2>/dev/null
    python3 - "$folder" "$work/linux.txt" "$work/win.txt" <<'PY' || fail "scan of $label: rows differ from the Linux build"
import sys
root, linux, win = sys.argv[1], open(sys.argv[2], 'rb').read(), open(sys.argv[3], 'rb').read()
def windows(field, marked):
    # A line with escapes (marked by a backslash) escapes the separators too.
    separator = b'\\\\' if marked else b'\\'
    return b'Z:' + field.replace(b'/', separator) if field.startswith(root.encode()) else field
expected = []
for line in linux.split(b'\r\n'):
    fields = line.split(b'\t')
    if len(fields) > 4:
        marked = fields[0] == b'\\'
        fields[1], fields[4] = windows(fields[1], marked), windows(fields[4], marked)
    expected.append(b'\t'.join(fields))
# The same rows; documents of the same name may come in another order, as
# each system lists a folder in its own order.
expected, got = sorted(expected), sorted(win.split(b'\r\n'))
if expected != got:
    for a, b in zip(expected, got):
        if a != b:
            print('linux  :', a[:300]); print('windows:', b[:300]); break
    sys.exit(1)
PY
    echo "-- scan of $label: $rows rows, the same as the Linux build's"
  else
    echo "-- scan of $label: $rows rows (no Linux build to compare with)"
  fi
}
scan_compare "$work/cad" "generated documents"
real=../shared/samples/real
if [ -d "$real" ]; then
  cp -r "$real" "$work/real"
  scan_compare "$work/real" "real documents"
fi

# 2. status 3: the same bytes as the Linux build writes.
mapfile -t docs < <(find "$work/cad" -type f | sort | head -3)
mkdir -p "$work/linux" "$work/win"
for d in "${docs[@]}"; do cp "$d" "$work/linux/"; cp "$d" "$work/win/"; done
names=()
for d in "${docs[@]}"; do names+=("$(basename "$d")"); done
win_args=()
for n in "${names[@]}"; do win_args+=("$(winpath "$work/win/$n")"); done
wine "$cli" status 3 "${win_args[@]}" >"$work/status.out" 2>&1 </dev/null || { cat "$work/status.out"; fail "status 3: exit status $?"; }
if [ -n "$linux_cli" ]; then
  linux_args=()
  for n in "${names[@]}"; do linux_args+=("$work/linux/$n"); done
  "$linux_cli" status 3 "${linux_args[@]}" >/dev/null
  for n in "${names[@]}"; do
    cmp -s "$work/linux/$n" "$work/win/$n" || fail "status 3: $n differs from what the Linux build writes"
  done
  echo "-- status 3 on ${#names[@]} documents: the bytes the Linux build writes"
fi
for n in "${names[@]}"; do
  cmp -s "$work/win/$n" "$work/cad/${n}" && fail "status 3: $n unchanged"
done
seen=$(/usr/bin/python3 tests/properties/olefile_status.py "$work/win/${names[0]}" \
  | /usr/bin/python3 -c 'import json, sys; print(next(iter(json.load(sys.stdin).values()))["status"])')
[ "$seen" = 3 ] || fail "status 3: the independent reader sees no status 3 in ${names[0]}"

# 3. A document held open without write sharing: reported, untouched; the next written.
held=$work/held
mkdir -p "$held"
cp "${docs[0]}" "$held/a.par"; cp "${docs[1]}" "$held/b.par"
cp "$held/a.par" "$work/a.before"; cp "$held/b.par" "$work/b.before"
coproc HOLD { wine build/windows/tests/common/hold_open.exe "$(winpath "$held/a.par")" 2>&1; }
read -r -t 60 opened <&"${HOLD[0]}" || true
opened=${opened%$'\r'}  # a Windows program's line end
[ "$opened" = open ] || fail "hold_open did not open the document: $opened"
rc=0
wine "$cli" status 3 "$(winpath "$held/a.par")" "$(winpath "$held/b.par")" >"$work/held.out" 2>&1 </dev/null || rc=$?
exec {HOLD[1]}>&-
wait "$HOLD_PID" || true
[ $rc -eq 1 ] || { cat "$work/held.out"; fail "a document held open: exit status $rc, 1 expected"; }
grep -q 'gesperrt' "$work/held.out" || { cat "$work/held.out"; fail "a document held open is not reported as locked"; }
cmp -s "$held/a.par" "$work/a.before" || fail "the document held open was changed"
cmp -s "$held/b.par" "$work/b.before" && fail "the document after the held one was not written"
echo "-- a document held open without write sharing: reported, left byte-identical; the next one written"

# 4. The window.
appdata=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
profile=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
settings_dir=$(winepath -u "$appdata\\Fendriken" 2>/dev/null)
documents=$(winepath -u "$profile\\Documents" 2>/dev/null)
mkdir -p "$settings_dir" "$documents"
rm -f "$documents/Fendrik_0.lst"
# The list file the window writes is the check's own: it goes at the end, so
# that the Documents folder of the prefix holds none for the next test run.
trap 'rm -rf "$work"; rm -f "$documents/Fendrik_0.lst"' EXIT
printf '[Einstellungen]\r\nPfad=%s\r\nPAR=1\r\nASM=1\r\nPSM=1\r\nDFT=1\r\nsortiert=1\r\nUnterordner=1\r\n' \
  "$(winpath "$work/cad" | sed 's/\\/\\\\/g')" >"$settings_dir/Fendriken.ini"
cp "$settings_dir/Fendriken.ini" "$work/settings.before"
shot=build/windows/window-wine.png
timeout 300 bash -c '
  set -euo pipefail
  wine "$1" >"$2/window.log" 2>&1 </dev/null &
  pid=$!
  window=
  for _ in $(seq 600); do
    window=$(xdotool search --onlyvisible --name "^Fendrel" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
  sleep 1
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key --window "$window" alt+s
  for _ in $(seq 600); do [ -f "$3/Fendrik_0.lst" ] && break; sleep 0.1; done
  sleep 1
  import -window root "$4"
  xdotool key --window "$window" alt+e
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "fendrik.exe did not end after Alt+E" >&2; exit 1; fi
' _ "${app}fendrik.exe" "$work" "$documents" "$shot" || { cat "$work/window.log" >&2 || true; fail "window under Wine"; }
[ -f "$documents/Fendrik_0.lst" ] || fail "no Fendrik_0.lst after Alt+S"
rows=$(grep -c $'\r$' "$documents/Fendrik_0.lst" || true)
[ "$rows" = 25 ] || fail "$rows rows in Fendrik_0.lst, 25 expected"
cmp -s "$settings_dir/Fendriken.ini" "$work/settings.before" && fail "the settings were not written at the end"
grep -q 'Pfad=' "$settings_dir/Fendriken.ini" || fail "the settings written lack Pfad"
echo "-- fendrik.exe: window shown, Alt+S wrote Fendrik_0.lst with $rows rows, Alt+E ended it and wrote the settings ($shot)"
