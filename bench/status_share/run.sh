#!/usr/bin/env bash
# Status change of N documents (default 2000) on a file share that answers
# every request after 1 ms: builds slowfs (../shared/tools/slowfs) into a
# temporary folder, fills a source folder with copies of generated documents,
# mounts it through slowfs and runs bench_status_share on the mount. Then the
# same through the command line on fresh copies: `fendrik-cli status 3
# FILE...` (default jobs) over all documents, `fendrik-cli status 1 FILE...
# --jobs 1` over the first ones (the baseline, the same work as the
# library's), and checks with `fendrik-cli scan` of the source folder, past
# the share, that every document carries the status it was given last.
# FENDRIK_STATUS_WORKERS=N times N workers instead of the default.
# Usage: [FENDRIK_SLOWFS=path/slowfs.c] bench/status_share/run.sh [documents] [one-at-a-time documents] [delay-us]
set -euo pipefail
cd "$(dirname "$0")/../.."
documents=${1:-2000}
baseline=${2:-200}
delay=${3:-1000}
bench=$(realpath build/release/bench/status_share/bench_status_share)
cli=$(realpath build/release/src/cli/fendrik-cli)
# The slowfs source beside the repository, or where FENDRIK_SLOWFS names it.
slowfs_src=$(realpath "${FENDRIK_SLOWFS:-../shared/tools/slowfs/slowfs.c}")
work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/src" "$mnt" "$work/gen"
cc -O2 -o "$work/slowfs" "$slowfs_src" $(pkg-config --cflags --libs fuse3)
# 100 generated documents, copied into folders of 100 until there are enough
# (again before the command line's run: each run writes fresh documents).
/usr/bin/python3 tools/gen/generate_samples.py --out "$work/gen" --documents 100 --seed 5 >/dev/null 2>&1
rm -f "$work/gen/manifest.json"
fill() {
  made=0
  folder=0
  while [ "$made" -lt "$documents" ]; do
    mkdir -p "$work/src/f$folder"
    for f in "$work/gen"/*; do
      [ "$made" -lt "$documents" ] || break
      cp "$f" "$work/src/f$folder/"
      made=$((made + 1))
    done
    folder=$((folder + 1))
  done
}
fill
"$work/slowfs" "$work/src" "$mnt" --delay-us="$delay"
for _ in $(seq 50); do mountpoint -q "$mnt" && break; sleep 0.1; done
echo "$documents documents in $folder folders on slowfs, ${delay} us per request"
"$bench" "$mnt" "$baseline" ${FENDRIK_STATUS_WORKERS:-}

# The command line on fresh copies (written in place, so the share's cached
# names stay valid): all paths in one call (2,000 paths of some 60 bytes stay
# far below ARG_MAX), then its one-at-a-time baseline.
fill
sleep 2  # the share's cached sizes of the documents written before have expired
mapfile -t files < <(find "$mnt" -type f | sort)
now() { date +%s.%N; }
start=$(now)
"$cli" status 3 "${files[@]}"
middle=$(now)
"$cli" status 1 "${files[@]:0:$baseline}" --jobs 1
end=$(now)
awk -v n="${#files[@]}" -v b="$baseline" -v s="$start" -v m="$middle" -v e="$end" 'BEGIN {
  many = n / (m - s); one = b / (e - m)
  printf "fendrik-cli status, default jobs: %d documents in %.2f s = %.0f documents/s\n", n, m - s, many
  printf "fendrik-cli status --jobs 1:      %d documents in %.2f s = %.1f documents/s\n", b, e - m, one
  printf "speed-up %.1fx; target at least 300 documents/s: %s\n", many / one, (many >= 300 ? "met" : "MISSED")
}'
# Every document holds the status it was given last (columns 2 and 10 of the
# scan's rows: path and status), read from the source folder.
"$cli" scan "$work/src" | tr -d '\r' |
  awk -F '\t' -v b="$baseline" -v mnt="$mnt/" -v src="$work/src/" '
    NR == FNR { want[substr($0, length(mnt) + 1)] = FNR <= b ? "1" : "3"; n = FNR; next }
    { if (want[substr($2, length(src) + 1)] == $10) ++ok; ++rows }
    END {
      printf "documents with the status given last: %d of %d\n", ok, n
      exit ok == n && rows == n ? 0 : 1
    }' <(printf '%s\n' "${files[@]}") -
