#!/usr/bin/env bash
# Status change of N documents (default 2000) on a file share that answers
# every request after 1 ms: builds slowfs (../shared/tools/slowfs) into a
# temporary folder, fills a source folder with copies of generated documents,
# mounts it through slowfs and runs bench_status_share on the mount.
# FENDRIK_STATUS_WORKERS=N times N workers instead of the default.
# Usage: [FENDRIK_SLOWFS=path/slowfs.c] bench/status_share/run.sh [documents] [one-at-a-time documents] [delay-us]
set -euo pipefail
cd "$(dirname "$0")/../.."
documents=${1:-2000}
baseline=${2:-200}
delay=${3:-1000}
bench=$(realpath build/release/bench/status_share/bench_status_share)
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
# 100 generated documents, copied into folders of 100 until there are enough.
/usr/bin/python3 tools/gen/generate_samples.py --out "$work/gen" --documents 100 --seed 5 >/dev/null 2>&1
rm -f "$work/gen/manifest.json"
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
"$work/slowfs" "$work/src" "$mnt" --delay-us="$delay"
for _ in $(seq 50); do mountpoint -q "$mnt" && break; sleep 0.1; done
echo "$documents documents in $folder folders on slowfs, ${delay} us per request"
"$bench" "$mnt" "$baseline" ${FENDRIK_STATUS_WORKERS:-}
