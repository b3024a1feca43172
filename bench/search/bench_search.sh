#!/usr/bin/env bash
# Search benchmarks of fendrik-cli scan over 10,000 documents in 1,000
# folders: copies of the real documents of ../shared/samples/real mixed
# with generated ones, so that real layouts are timed. Copies, not hard
# links: each document is a file of its own, as in a real tree (links share
# their cached pages, which favoured reading one type after the other).
#
#   local   hot cache: the default jobs against --jobs 1 (speed-up on
#           this machine's cores), and bench_walk_and_read: the search as
#           it ran before (the whole walk, then the reading) against the
#           search that reads while it walks (target: no slower)
#   share   the same tree seen through slowfs, where every file-system
#           request waits 1 ms like a share on a network: the default jobs
#           against the floor
#             find ... -print0 | xargs -0 -P 16 -n 32 head -q -c 65536
#           on the same mount (target: at most half the floor's time), and
#           bench_walk_and_read once
#
# Usage: bench/search/bench_search.sh [BUILD-DIR] [local|share|all]
# FENDRIK_REAL_SAMPLES and FENDRIK_SLOWFS name the sample and slowfs folders
# when they are not beside the repository.
# Needs fuse3 and libfuse3-dev for the share part (scripts/setup-debian.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(realpath "${1:-$repo/build/release}")
what=${2:-all}
cli="$build/src/cli/fendrik-cli"
walk_and_read="$build/bench/search/bench_walk_and_read"
samples=$(realpath -m "${FENDRIK_REAL_SAMPLES:-$repo/../shared/samples/real}")
slowfs_dir=$(realpath -m "${FENDRIK_SLOWFS:-$repo/../shared/tools/slowfs}")
documents=${BENCH_DOCUMENTS:-10000}
folders=${BENCH_FOLDERS:-1000}

work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then fusermount3 -u "$mnt"; fi
  rm -rf "$work"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
# Runs a command line and prints its wall-clock milliseconds.
time_ms() {
  local start end
  start=$(now_ms)
  bash -c "$1" >/dev/null
  end=$(now_ms)
  echo $((end - start))
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The tree: the real documents and 200 generated ones, copied round-robin
# under unique names into the folders (about 1.6 GB).
if [ ! -d "$samples" ]; then
  echo "no real samples in $samples (set FENDRIK_REAL_SAMPLES)" >&2
  exit 2
fi
mkdir -p "$work/gen" "$work/tree"
python3 "$repo/tools/gen/generate_samples.py" --out "$work/gen" --documents 200 --seed 17 >/dev/null 2>&1
rm -f "$work/gen/manifest.json"
mapfile -t originals < <( (find "$samples" -type f \( -iname '*.par' -o -iname '*.asm' -o -iname '*.psm' -o -iname '*.dft' \) 2>/dev/null; find "$work/gen" -type f) | sort)
real=$(find "$samples" -type f \( -iname '*.par' -o -iname '*.asm' -o -iname '*.psm' -o -iname '*.dft' \) 2>/dev/null | wc -l)
# Samples on another file system than the temporary folder are copied once.
mkdir -p "$work/orig"
for k in "${!originals[@]}"; do
  cp "${originals[$k]}" "$work/orig/$k.${originals[$k]##*.}"
  originals[$k]="$work/orig/$k.${originals[$k]##*.}"
done
for ((k = 0; k < documents; k++)); do
  d="$work/tree/p$((k % folders / 100))/f$((k % folders))"
  [ -d "$d" ] || mkdir -p "$d"
  src=${originals[$((k % ${#originals[@]}))]}
  cp "$src" "$d/teil $k.${src##*.}"
done
echo "tree: $documents documents in $folders folders ($real real documents and 200 generated ones, copied in turn)"
floor_cmd() {
  echo "find '$1' -type f \\( -iname '*.par' -o -iname '*.asm' -o -iname '*.psm' -o -iname '*.dft' \\) -print0 | xargs -0 -P 16 -n 32 head -q -c 65536"
}

if [ "$what" = local ] || [ "$what" = all ]; then
  echo "== local disk, hot cache ($(nproc) cores), median of 3 after one warm-up"
  "$cli" scan "$work/tree" >/dev/null
  best() {
    local t=() ; for _ in 1 2 3; do t+=("$(time_ms "$1")"); done
    printf '%s\n' "${t[@]}" | sort -n | sed -n 2p
  }
  default_ms=$(best "'$cli' scan '$work/tree'")
  one_ms=$(best "'$cli' scan '$work/tree' --jobs 1")
  floor_ms=$(best "$(floor_cmd "$work/tree")")
  echo "fendrik-cli scan (default jobs):    $default_ms ms"
  echo "fendrik-cli scan --jobs 1:          $one_ms ms"
  echo "floor (find | xargs -P 16 head):    $floor_ms ms"
  echo "speed-up of the default over --jobs 1: $(ratio "$one_ms" "$default_ms")x; default / floor: $(ratio "$default_ms" "$floor_ms")"
  echo "-- the whole tree walked, then read, against walking and reading at once (target: ratio at most 1.0)"
  "$walk_and_read" "$work/tree" --rounds 5 | tail -3
fi

if [ "$what" = share ] || [ "$what" = all ]; then
  [ -x "$slowfs_dir/slowfs" ] || "$slowfs_dir/build.sh"
  mkdir -p "$mnt"
  "$slowfs_dir/slowfs" "$work/tree" "$mnt" --delay-us=1000
  for _ in $(seq 50); do mountpoint -q "$mnt" && break; sleep 0.1; done
  echo "== file share: slowfs, 1 ms per request, names and attributes cached for 1 s"
  # Each run starts after the cache of names and attributes has expired.
  share_run() { sleep 2; time_ms "$1"; }
  floor_ms=$(share_run "$(floor_cmd "$mnt")")
  default_ms=$(share_run "'$cli' scan '$mnt'")
  floor2_ms=$(share_run "$(floor_cmd "$mnt")")
  default2_ms=$(share_run "'$cli' scan '$mnt'")
  floor_ms=$(( floor_ms < floor2_ms ? floor_ms : floor2_ms ))
  default_ms=$(( default_ms < default2_ms ? default_ms : default2_ms ))
  echo "floor (find | xargs -P 16 head):    $floor_ms ms (the better of two)"
  echo "fendrik-cli scan (default jobs):    $default_ms ms (the better of two)   ratio to the floor $(ratio "$default_ms" "$floor_ms")  (target <= 0.5)"
  echo "-- the whole tree walked, then read, against walking and reading at once"
  "$walk_and_read" "$mnt" --rounds 1 --pause-ms 2000 | tail -3
fi
