#!/usr/bin/env bash
# Times the first scripts/run.sh of a fresh clone, as a new user meets it with the Debian
# packages present: a clone of this repository's HEAD into a temporary folder, then its
# run.sh without a display (build of the programs and the module, one headless composition).
# No compiler cache: CCACHE_DISABLE is set, and run.sh's build uses none of its own.
# Prints the wall and processor seconds, the build steps, the build folder's size and the
# machine's load (the wall time on 2 free cores is about the processor time over 2, plus the
# links at the end that run alone).
#   bench/first_run.sh [REPOSITORY]   (default: the one holding this script)
set -euo pipefail
repo=$(cd "${1:-$(dirname "$0")/..}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

git clone -q --no-hardlinks "$repo" "$work/vema"
cd "$work/vema"
scripts/install-deps.sh  # present already: not part of the time
echo "fresh clone of $(git rev-parse --short HEAD) in $work/vema, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
# Wall time, and the processor time of everything run.sh started (user + system): on a busy
# machine the wall time grows with the load, the processor time hardly.
TIMEFORMAT='%R %U %S'
{ time env -u DISPLAY -u WAYLAND_DISPLAY CCACHE_DISABLE=1 scripts/run.sh --seed 1 >"$work/run.log" 2>&1 ||
  { tail -20 "$work/run.log"; echo "run.sh failed"; exit 1; }; } 2>"$work/time.txt"
read -r wall user system <"$work/time.txt"
steps=$(grep -c '^\[[0-9]*/[0-9]*\]' "$work/run.log" || true)
printf 'first scripts/run.sh: %.0f s wall, %.0f s processor time (%s build steps, build/ %s), load afterwards %s\n' \
  "$wall" "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" "$steps" \
  "$(du -sh build | cut -f1)" "$(cut -d' ' -f1-3 /proc/loadavg)"
grep -q "^Composed with seed 1 into workspace/" "$work/run.log" || { echo "run.sh composed nothing"; exit 1; }
