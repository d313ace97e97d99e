#!/usr/bin/env bash
# Builds the two programs and the player module (nothing else: no tests, benchmarks or tools)
# and runs the program on the shipped default data in workspace/ (not tracked by git; filled from
# data/ on the first run, so saves never touch the repository).  With a display the window
# opens; without one a song is composed headless and the script tells what it did and what to
# try next.  It builds in build/, configured as scripts/test.sh configures it.
#   scripts/run.sh [OPTIONS...]   (options of vema, or of vema-cli compose when headless)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
[ -f build/build.ninja ] || echo "first build of the programs and the player module (80 steps): a few minutes"
scripts/configure.sh
cmake --build build --target vema-cli vema_fluid vema

mkdir -p workspace
for f in default.mld default.ton default.db; do
  [ -e "workspace/$f" ] || cp "data/$f" "workspace/$f"
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/vema --dir workspace "$@"
fi

# Headless: one composition, with a seed that can be given again and the march feel unless the
# options say otherwise.
args=("$@")
seed= feel=march
for ((i = 0; i < ${#args[@]}; ++i)); do
  case ${args[i]} in
    -h | --help) exec build/vema-cli compose --help ;;
    --seed) seed=${args[i + 1]:-} ;;
    --feel) feel= ;;
  esac
done
if [ -z "$seed" ]; then
  seed=$((RANDOM * 32768 + RANDOM))
  args+=(--seed "$seed")
fi
[ -n "$feel" ] && args+=(--feel "$feel")
echo "no display: composing headless into workspace/"
build/vema-cli compose --dir workspace "${args[@]}"
cat <<EOT

Composed with seed $seed into workspace/:
  out.mid   the song (Standard MIDI File)
  out.mml   the same as MML text
  work.txt  every decision the composition took
What to try next:
  hear it         build/vema-cli play --dir workspace   (needs a sound device)
  render a WAV    build/vema-cli play --dir workspace --wav workspace/song.wav
  write a score   build/vema-cli export --dir workspace --musicxml workspace/song.musicxml
  the same again  scripts/run.sh --seed $seed
  another one     scripts/run.sh --feel rock --best-of 16
  every option    build/vema-cli compose --help
  the window      scripts/run.sh with a display (DISPLAY set)
EOT
