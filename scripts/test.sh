#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test:
# the normal build (in build/, which scripts/run.sh shares), the Debian package (built, checked
# by lintian and the validators, installed, run and purged), the same test suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== build and test"
scripts/configure.sh
cmake --build build
ctest --test-dir build --output-on-failure -j2

echo "== Debian package"
scripts/package_test.sh build

echo "== test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-Werror -O1" \
  -DVEMA_SANITIZE=ON -DVEMA_BUILD_GUI=OFF -DVEMA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== fuzz smoke run"
scripts/fuzz.sh "${VEMA_FUZZ_SECONDS:-10}"
if compgen -G "tests/fuzz/findings/*/*" >/dev/null; then
  echo "fuzzing found new failures:"; ls tests/fuzz/findings/*/
  exit 1
fi
