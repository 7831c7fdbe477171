#!/usr/bin/env bash
# Saves docs/screenshot.png: the main window with the sample unit Demo7.dcu
# open, drawn under Xvfb when xvfb-run is there, else on the offscreen
# platform. Builds into build/ first.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
# The build folder; build/ unless UNITPEEK_BUILD_DIR names another.
BUILD=${UNITPEEK_BUILD_DIR:-$ROOT/build}

bash "$ROOT/scripts/deps.sh"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 --target viewer_screenshot samples

mkdir -p "$ROOT/docs"
OUT="$ROOT/docs/screenshot.png"
SHOT=("$BUILD/tests/viewer/viewer_screenshot" "$OUT" "$BUILD/samples/Demo7.dcu")
if command -v xvfb-run >/dev/null 2>&1; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "${SHOT[@]}"
else
  QT_QPA_PLATFORM=offscreen "${SHOT[@]}"
fi
echo "== wrote $OUT"
