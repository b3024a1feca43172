# Sourced inside the virtual X server by the checks that drive the window
# with real keys and clicks. Starts the program given as $1 with its test log
# in $2 and waits for its window; then offers:
#   click X Y       a left click at a place of the window, in pixels
#   wait_log TEXT   waits (bounded) until the test log holds TEXT
#   end_program     Alt+E, and waits (bounded) until the program has ended
set -euo pipefail
program=$1 log=$2
"$program" 2>"$log" &
pid=$!
wid=
for _ in $(seq 200); do
  wid=$(xdotool search --name "^Fendrel" 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "window did not appear"; kill $pid; exit 1; }
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
sleep 0.5
# Places in pixels at 96 dpi: twips / 15 (see the window layout).
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep 0.3; }
wait_log() {
  for _ in $(seq 600); do grep -q "$1" "$log" && return 0; sleep 0.1; done
  echo "not seen in the log: $1"; cat "$log"; return 1
}
end_program() {
  xdotool key --window "$wid" alt+e
  for _ in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then echo "program did not end"; kill $pid; exit 1; fi
  wait $pid
}
