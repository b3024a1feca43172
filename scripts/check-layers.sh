#!/usr/bin/env bash
# Fails when a file of src/ includes a header of a layer above its own.
# The layers, lowest first; app and cli stand side by side at the top and
# neither includes the other:
#   properties  <-  resultlist  <-  search  <-  app, cli
set -euo pipefail
cd "$(dirname "$0")/.."
rank() {
  case $1 in
    properties) echo 1 ;; resultlist) echo 2 ;; search) echo 3 ;; app | cli) echo 4 ;; *) echo 0 ;;
  esac
}
bad=0
while IFS=: read -r file line text; do
  from=$(cut -d/ -f2 <<<"$file")
  to=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([a-z]+)\/.*/\1/p' <<<"$text")
  [ -n "$to" ] || continue
  rf=$(rank "$from")
  rt=$(rank "$to")
  if [ "$rf" -gt 0 ] && { [ "$rt" -gt "$rf" ] || { [ "$rf" = 4 ] && [ "$rt" = 4 ] && [ "$from" != "$to" ]; }; }; then
    echo "$file:$line: the $from layer includes a header of $to:$text" >&2
    bad=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' src --include='*.h' --include='*.cpp')
if [ "$bad" = 0 ]; then echo "layers: every include points down (properties <- resultlist <- search <- app, cli)"; fi
exit "$bad"
