#!/usr/bin/env bash
# Sets up, builds and runs the main job: the tour of the libraries on the
# simulated panel. Output (pictures, recordings, printouts) goes to ./out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tour
TOUR_OUT="${TOUR_OUT:-$PWD/out}" ./build/default/bin/tour
