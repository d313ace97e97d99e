#!/usr/bin/env bash
# Builds the program and runs it on the shipped default data in workspace/ (not tracked by git;
# filled from data/ on the first run, so saves never touch the repository).  With a display the
# window opens; without one a song is composed headless.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

mkdir -p workspace
for f in default.mld default.ton default.db; do
  [ -e "workspace/$f" ] || cp "data/$f" "workspace/$f"
done

if [ -n "${DISPLAY:-}" ] && [ -x build/vema ]; then
  exec build/vema --dir workspace "$@"
fi
echo "no display: composing headless into workspace/"
build/vema-cli compose --dir workspace --feel march "$@"
ls -l workspace/out.mid workspace/out.mml workspace/work.txt
