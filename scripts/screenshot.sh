#!/usr/bin/env bash
# Saves the pictures of the viewer in docs/, drawn under Xvfb when xvfb-run is
# there, else on the offscreen platform. Builds into build/ first.
#   docs/screenshot.png    the window with the sample unit Demo7.dcu
#   docs/declarations.png  the Declarations view of a unit of the corpus
#   docs/bytes.png         the Bytes view of the same unit, a declaration's
#                          tag byte marked
#   docs/code.png          the Code view of another corpus unit, one of its
#                          routines beside its source lines (the unit and its
#                          source linked into a temporary folder, under the
#                          names the unit gives them)
#   docs/find.png          a folder tab of the corpus's DPE units, a name
#                          found on its Find page with the units that use it
#   docs/graph-neighbourhood.png  the Graph page of the same folder showing
#                          one unit's neighbourhood, as for a large folder
# Every picture shows the file under a user's home folder (SHOWN_DIR), not
# where it lies on the machine that draws it.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
# The build folder; build/ unless UNITPEEK_BUILD_DIR names another.
BUILD=${UNITPEEK_BUILD_DIR:-$ROOT/build}
SHOWN_DIR=/home/user/units
CORPUS_UNIT="$ROOT/../shared/corpus/v7/delphi-pascal--abf-dialogs__AbfDialogs_units_abfAppProps.dcu"
CODE_UNIT="$ROOT/../shared/corpus/v7/johndempster-ChartXE__ZOOM.dcu"
CODE_SOURCE="$ROOT/../shared/corpus-src/v7/johndempster-ChartXE__ZOOM.pas"
# The units of one program in the corpus, by the prefix of their names.
CORPUS_FOLDER_UNITS=("$ROOT"/../shared/corpus/v3/vrodic-DPE__*.dcu)

bash "$ROOT/scripts/deps.sh"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 --target viewer_screenshot samples

mkdir -p "$ROOT/docs"
SHOT="$BUILD/tests/viewer/viewer_screenshot"
shoot() {
  if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$SHOT" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$SHOT" "$@"
  fi
  echo "== wrote $1"
}

shoot "$ROOT/docs/screenshot.png" --as "$SHOWN_DIR/Demo7.dcu" "$BUILD/samples/Demo7.dcu"

if [ -f "$CORPUS_UNIT" ]; then
  AS="$SHOWN_DIR/abfAppProps.dcu"
  shoot "$ROOT/docs/declarations.png" --size 900x600 --select TabfApplicationProperties \
    --as "$AS" "$CORPUS_UNIT"
  shoot "$ROOT/docs/bytes.png" --size 900x600 --select TabfApplicationProperties --view bytes \
    --as "$AS" "$CORPUS_UNIT"
else
  echo "== no corpus unit at $CORPUS_UNIT: declarations.png and bytes.png not drawn"
fi

# Links to corpus files under the names a user's folders would give them.
LINKS=$(mktemp -d "${TMPDIR:-/tmp}/unitpeek-shot.XXXXXX")
trap 'rm -rf "$LINKS"' EXIT

if [ -f "$CODE_UNIT" ]; then
  ln -s "$CODE_UNIT" "$LINKS/ZOOM.dcu"
  [ -f "$CODE_SOURCE" ] && ln -s "$CODE_SOURCE" "$LINKS/ZOOM.pas"
  shoot "$ROOT/docs/code.png" --size 900x600 --routine TZoomFrm.FormActivate --line 'call dword ptr [edx+$D8]' \
    --as "$SHOWN_DIR/ZOOM.dcu" "$LINKS/ZOOM.dcu"
else
  echo "== no corpus unit at $CODE_UNIT: code.png not drawn"
fi

if [ -f "${CORPUS_FOLDER_UNITS[0]}" ]; then
  # The units linked into a folder of their own under their own names, as a
  # user keeps them.
  mkdir "$LINKS/DPE"
  for f in "${CORPUS_FOLDER_UNITS[@]}"; do
    b=$(basename "$f")
    ln -s "$(cd "$(dirname "$f")" && pwd)/$b" "$LINKS/DPE/${b#vrodic-DPE__}"
  done
  shoot "$ROOT/docs/find.png" --size 900x560 --find DPEMain --as "$SHOWN_DIR/DPE" "$LINKS/DPE"
  # The same folder as if it were past the size of a readable picture: one
  # unit's neighbourhood.
  shoot "$ROOT/docs/graph-neighbourhood.png" --size 900x560 --graph 20 --centre dpemform --as "$SHOWN_DIR/DPE" \
    "$LINKS/DPE"
else
  echo "== no corpus units at ${CORPUS_FOLDER_UNITS[0]}: find.png not drawn"
fi
