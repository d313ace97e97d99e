#!/usr/bin/env bash
# Configures build/ the one way scripts/run.sh and scripts/test.sh both use it (warnings as
# errors, as CI builds), so that each builds on what the other has built and neither throws it
# away.  Configuring again with the same settings changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-Werror >/dev/null
