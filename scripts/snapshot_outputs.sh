#!/usr/bin/env bash
# Writes what unitpeek-dump prints in every mode over a folder of unit files
# (standard output and exit status), one file per mode, so that two builds
# can be compared byte for byte:
#
#   scripts/snapshot_outputs.sh OLD/unitpeek-dump /tmp/before
#   scripts/snapshot_outputs.sh build/cli/unitpeek-dump /tmp/after
#   diff -r /tmp/before /tmp/after && echo same
#
# Usage: snapshot_outputs.sh DUMP OUTDIR [UNITS_DIR]
# UNITS_DIR defaults to ../shared/corpus beside the project. The files are
# named relative to UNITS_DIR, in name order, so the paths in the output do
# not depend on where the folder lies. Runs under LC_ALL=C and C.UTF-8.
# Extra modes can be added with SNAPSHOT_EXTRA_MODES (a space-separated list
# of option sets with commas for blanks, e.g. "--code,--decls").
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 DUMP OUTDIR [UNITS_DIR]" >&2; exit 2; }
DUMP=$(realpath "$1")
OUT=$(realpath -m "$2")
ROOT=$(cd "$(dirname "$0")/.." && pwd)
UNITS=$(realpath "${3:-$ROOT/../shared/corpus}")
[ -d "$UNITS" ] || { echo "no folder of units at $UNITS" >&2; exit 2; }

mkdir -p "$OUT"
cd "$UNITS"
mapfile -t FILES < <(find . -type f -iname '*.dcu' | LC_ALL=C sort)
# The folders as the report walks them (each version folder and all of them).
mapfile -t DIRS < <(find . -mindepth 1 -maxdepth 1 -type d | LC_ALL=C sort)

run() {  # NAME ARGS...: output and exit status of one call
  local name=$1; shift
  set +e
  # Called by a fixed name: the usage text names the program as called.
  (exec -a unitpeek-dump "$DUMP" "$@") >"$OUT/$name.out" 2>"$OUT/$name.err"
  echo $? >"$OUT/$name.rc"
  set -e
}

for loc in C C.UTF-8; do
  export LC_ALL=$loc
  run "plain.$loc" "${FILES[@]}"
  run "decls.$loc" --decls "${FILES[@]}"
done
export LC_ALL=C
run json --json "${FILES[@]}"
run json-decls --json --decls "${FILES[@]}"
run code --code "${FILES[@]}"
run code-json --code --json "${FILES[@]}"
run report --report .
run report-json --report --json .
run graph --graph .
for d in "${DIRS[@]}"; do
  n=$(basename "$d")
  run "report-$n" --report "$d"
  run "report-json-$n" --report --json "$d"
  run "graph-$n" --graph "$d"
done
run graph-hide-runtime --graph --hide-runtime .
# Find over all folders: declarations with wildcards, members, a unit name
# and its users, the JSON, nothing found.
run find-text --find 'T*Form*' .
run find-json --find 'T*Form*' --json .
run find-members --find '*.Create' .
run find-unit --find dpemform .
run find-unit-json --find 'sys*' --json .
run find-none --find NoSuchName .
# One file per call for a few files of each folder: the single-file paths.
for d in "${DIRS[@]}"; do
  n=$(basename "$d")
  for f in $(find "$d" -type f -iname '*.dcu' | LC_ALL=C sort | head -n 3); do
    b=$(basename "$f")
    run "one-$n-$b" "$f"
    run "one-json-$n-$b" --json "$f"
  done
done
# Usage errors and odd arguments.
run usage-none
run usage-graph-json --graph --json .
run usage-missing /nonexistent/file.dcu
run usage-folder .
for mode in ${SNAPSHOT_EXTRA_MODES:-}; do
  read -r -a opts <<<"${mode//,/ }"
  run "extra${mode//[^A-Za-z0-9-]/_}" "${opts[@]}" "${FILES[@]}"
done
echo "snapshot of $(ls "$OUT" | wc -l) files in $OUT"
