#!/usr/bin/env bash
# Makes docs/panel-sdl.png: the panel's screen in its desktop window
# (ORLIK_DISPLAY=sdl) under a private X server, while the tour's self-update
# section runs and the updater, a process of its own, draws its progress
# screen. Needs xvfb-run (Debian: xvfb) and ImageMagick's import (imagemagick).
#   scripts/sdl-screenshot.sh [OUTPUT.png]      (PRESET=ci uses that build)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/panel-sdl.png}")"
preset="${PRESET:-default}"

missing=()
command -v xvfb-run >/dev/null || missing+=(xvfb)
command -v import >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  echo "sdl-screenshot: needs ${missing[*]} (apt-get install ${missing[*]})" >&2
  exit 2
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tour
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Inside the X server: the tour's update section with the desktop window; the
# window is taken while the updater shows its first copied file's name.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  work="$1"; out="$2"; preset="$3"
  TOUR_ONLY=Renokit TOUR_OUT="$work/out" ORLIK_DISPLAY=sdl "./build/$preset/bin/tour" >"$work/tour.log" 2>&1 &
  tour=$!
  for _ in $(seq 200); do grep -q "the updater runs" "$work/tour.log" && break; sleep 0.1; done
  sleep 2.5
  import -window "Orlik panel" "$out"
  wait "$tour"
' sdl-screenshot "$work" "$out" "$preset"
echo "wrote $out"
