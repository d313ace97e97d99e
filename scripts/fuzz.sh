#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60), seeded with the shipped files and
# the kept regression inputs.  New findings are left in tests/fuzz/findings/<target>/.
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

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  findings=tests/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  cp -n data/default.mld data/default.ton data/default.db "$corpus"/ 2>/dev/null || true
  [ -d tests/fuzz/seeds/$t ] && cp -n tests/fuzz/seeds/$t/* "$corpus"/ 2>/dev/null || true
  [ -d tests/fuzz/regressions/$t ] && cp -n tests/fuzz/regressions/$t/* "$corpus"/ 2>/dev/null || true
  echo "== $t: $seconds s"
  build-fuzz/tests/fuzz/$t "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$findings/" -print_final_stats=1 2>&1 | grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number|stat::new|==|SUMMARY|.*ERROR)' || true
  rmdir "$findings" 2>/dev/null || true
done
