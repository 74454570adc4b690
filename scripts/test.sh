#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
#   scripts/test.sh            release build with warnings as errors
#   scripts/test.sh asan       address + undefined-behaviour sanitizers
#   scripts/test.sh tsan       thread sanitizer
#   scripts/test.sh fuzz       the fuzz targets (clang, libFuzzer), a short run each
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
bash scripts/bootstrap.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
