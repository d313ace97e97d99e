#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60), seeded with the kept seeds and
# regression inputs and, for the targets that read a whole file of a shipped format, with that
# file (default.mld for fuzz_mld, and so on).  New findings are left in tests/fuzz/findings/<target>/.
# FUZZ_FLAGS adds libFuzzer flags (for example "-runs=1000000 -jobs=1 -workers=1").
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEMA_FUZZ=ON -DVEMA_BUILD_GUI=OFF -DVEMA_BUILD_BENCH=OFF >/dev/null
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build build-fuzz --target "${targets[@]}"

# The longest input of each parser-only target: enough for every field it reads.
max_len() {
  case $1 in
    fuzz_parse_chord) echo 64 ;;
    fuzz_parse_number | fuzz_parse_text) echo 256 ;;
    fuzz_parse_smf | fuzz_mml_length) echo 4096 ;;
    fuzz_parse_ton) echo 4700 ;;
    fuzz_parse_form) echo 2600 ;;
    fuzz_parse_db) echo 4096 ;;
    fuzz_parse_mld) echo 60081 ;;
    fuzz_parse_history) echo 16384 ;;
    *) echo 0 ;;  # libFuzzer's own choice (the largest seed)
  esac
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  findings=tests/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  case $t in
    fuzz_mld | fuzz_ton | fuzz_db | fuzz_parse_ton) cp -n "data/default.${t##*_}" "$corpus"/ ;;
  esac
  [ -d tests/fuzz/seeds/$t ] && cp -n tests/fuzz/seeds/$t/* "$corpus"/ 2>/dev/null || true
  [ -d tests/fuzz/regressions/$t ] && cp -n tests/fuzz/regressions/$t/* "$corpus"/ 2>/dev/null || true
  echo "== $t: $seconds s"
  # shellcheck disable=SC2086
  build-fuzz/tests/fuzz/$t "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -max_len="$(max_len "$t")" -artifact_prefix="$findings/" -print_final_stats=1 ${FUZZ_FLAGS:-} 2>&1 |
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number|stat::new|==|SUMMARY|.*ERROR)' || true
  rmdir "$findings" 2>/dev/null || true
done
