#!/usr/bin/env bash
# Builds the viewer into build/ and starts it on the given unit files, or on
# the generated sample units when no file is given. Without a display it
# says so and prints the summaries with the command-line front end instead.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
# The build folder; build/ unless UNITPEEK_BUILD_DIR names another.
BUILD=${UNITPEEK_BUILD_DIR:-$ROOT/build}

bash "$ROOT/scripts/deps.sh"

echo "== build"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 --target unitpeek unitpeek-dump samples

FILES=("$@")
if [ "${#FILES[@]}" -eq 0 ]; then
  mapfile -t FILES < <(ls -v "$BUILD"/samples/Demo*.dcu)
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "== no display (neither DISPLAY nor WAYLAND_DISPLAY is set): printing the summaries instead"
  exec "$BUILD/cli/unitpeek-dump" "${FILES[@]}"
fi
exec "$BUILD/viewer/unitpeek" "${FILES[@]}"
