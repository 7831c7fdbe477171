#!/usr/bin/env bash
# Builds the benchmarks (build-bench, Release) and measures, in one run:
#   1. the reader and summary benchmarks, each next to its read-and-sum
#      baseline (Google Benchmark; raw results in build-bench/bench.json);
#   2. unitpeek-dump --json over the whole corpus, all files in one
#      invocation and one file per invocation, against reading and summing
#      the same files and against cat;
#   3. the peak resident memory while loading the large synthetic unit,
#      against its file size;
#   4. unitpeek-dump --report over the corpus against its --json run, and the
#      peak memory of the report over 10,000 units (the corpus linked into
#      many folders);
#   5. the viewer timing tool, when it has been built;
# and prints a table of the figures with the targets.
#
# Usage: scripts/bench.sh [BUILD_DIR] [-- extra Google Benchmark flags]
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="$ROOT/build-bench"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then BUILD=$(realpath -m "$1"); shift; fi
[ "${1:-}" = "--" ] && shift
EXTRA=("$@")

export LC_ALL=C
export QT_QPA_PLATFORM=offscreen

echo "== build ($BUILD, Release)"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DUNITPEEK_READER_ONLY=OFF -DUNITPEEK_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target unitpeek_bench unitpeek_benchtool unitpeek-dump
VIEWER_TIMING=""
TARGETS=$(cmake --build "$BUILD" --target help 2>/dev/null || true)
if grep -qw "viewer_timing" <<<"$TARGETS"; then
  cmake --build "$BUILD" -j2 --target viewer_timing
  VIEWER_TIMING=$(find "$BUILD" -type f -name viewer_timing -perm -u+x -print -quit)
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/unitpeek-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
FIG="$WORK/figures.txt"
: >"$FIG"

echo "== benchmarks"
"$BUILD/bench/unitpeek_bench" --benchmark_out="$BUILD/bench.json" --benchmark_out_format=json \
  --benchmark_min_time=0.3 "${EXTRA[@]}"

# ---- command-line batch ------------------------------------------------------
CORPUS="$ROOT/../shared/corpus"
mapfile -t FILES < <(find "$CORPUS" -type f ! -name manifest.tsv 2>/dev/null | sort)
now() { date +%s.%N; }
# Best of three wall times of a command, in milliseconds.
best_ms() {
  local best="" t0 t1 ms
  for _ in 1 2 3; do
    t0=$(now); "$@" >/dev/null 2>&1 || true; t1=$(now)
    ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) * 1000 }')
    if [ -z "$best" ] || awk -v m="$ms" -v b="$best" 'BEGIN { exit !(m < b) }'; then best=$ms; fi
  done
  printf '%.1f' "$best"
}
DUMP="$BUILD/cli/unitpeek-dump"
TOOL="$BUILD/bench/unitpeek_benchtool"
each() { local cmd=$1; shift; for f in "$@"; do $cmd "$f"; done; }
dump_json() { "$DUMP" --json "$@"; }
if [ "${#FILES[@]}" -gt 0 ]; then
  echo "== command-line batch over ${#FILES[@]} corpus files"
  BYTES=$(cat "${FILES[@]}" | wc -c)
  echo "cli_files ${#FILES[@]}" >>"$FIG"
  echo "cli_bytes $BYTES" >>"$FIG"
  echo "cli_dump_all_ms $(best_ms dump_json "${FILES[@]}")" >>"$FIG"
  echo "cli_sum_all_ms $(best_ms "$TOOL" sum "${FILES[@]}")" >>"$FIG"
  echo "cli_cat_all_ms $(best_ms cat "${FILES[@]}")" >>"$FIG"
  echo "cli_dump_each_ms $(best_ms each dump_json "${FILES[@]}")" >>"$FIG"
  echo "cli_sum_each_ms $(best_ms each "$TOOL sum" "${FILES[@]}")" >>"$FIG"
  echo "cli_cat_each_ms $(best_ms each cat "${FILES[@]}")" >>"$FIG"
  # The folder report over the same files, text and JSON, against --json:
  # the three taken in turn, best of five each, so that a busy moment of the
  # machine does not fall on one of them only.
  RB="" RT="" RJ=""
  for _ in 1 2 3 4 5; do
    RB="$RB $(best_ms dump_json "${FILES[@]}")"
    RT="$RT $(best_ms "$DUMP" --report "${FILES[@]}")"
    RJ="$RJ $(best_ms "$DUMP" --report --json "${FILES[@]}")"
  done
  least() { tr ' ' '\n' <<<"$1" | grep . | sort -g | head -1; }
  echo "report_base_ms $(least "$RB")" >>"$FIG"
  echo "report_text_ms $(least "$RT")" >>"$FIG"
  echo "report_json_ms $(least "$RJ")" >>"$FIG"
  # Processor time (user + system) of the same three, least of ten runs in
  # turn: what a busy machine changes least.
  python3 - "$DUMP" "${FILES[@]}" >>"$FIG" <<'PY'
import resource, subprocess, sys
dump, files = sys.argv[1], sys.argv[2:]
modes = {"base": ["--json"], "text": ["--report"], "json": ["--report", "--json"]}
best = {}
for _ in range(10):
    for key, flags in modes.items():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run([dump, *flags, *files], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        ms = (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * 1000
        best[key] = min(best.get(key, ms), ms)
for key, ms in best.items():
    print(f"report_{key}_cpu_ms {ms:.1f}")
PY
else
  echo "== no corpus at $CORPUS: command-line batch skipped"
fi

# ---- peak memory -------------------------------------------------------------
echo "== peak memory while loading the large unit"
for S in 1 4 16; do
  "$TOOL" large "$S" "$WORK/large$S.dcu" >/dev/null
  SIZE=$(stat -c %s "$WORK/large$S.dcu")
  RSS=$(/usr/bin/time -f "%M" "$TOOL" load "$WORK/large$S.dcu" 2>&1 >/dev/null | tail -1)
  EMPTY=$(/usr/bin/time -f "%M" "$TOOL" load 2>&1 >/dev/null | tail -1)
  DRSS=$(/usr/bin/time -f "%M" "$DUMP" --json "$WORK/large$S.dcu" 2>&1 >/dev/null | tail -1)
  echo "mem_${S}x $SIZE $RSS $EMPTY $DRSS" >>"$FIG"
done

# ---- folder report over 10,000 units ------------------------------------------
# The corpus linked into as many folders as it takes; the report's facts of
# every unit stay in memory, the units themselves do not.
if [ "${#FILES[@]}" -gt 0 ]; then
  echo "== peak memory of the folder report over 10000 units"
  MANY="$WORK/many"
  n=0; i=0
  while [ "$n" -lt 10000 ]; do
    i=$((i + 1)); mkdir -p "$MANY/copy$i"
    for f in "${FILES[@]}"; do
      [ "$n" -ge 10000 ] && break
      n=$((n + 1)); ln -s "$f" "$MANY/copy$i/$n.dcu"
    done
  done
  for MODE in text json; do
    FLAGS=(--report); [ "$MODE" = json ] && FLAGS+=(--json)
    T0=$(now)
    # Status 1: the corpus has files that do not load, and stale units.
    RSS=$( (/usr/bin/time -f "%M" "$DUMP" "${FLAGS[@]}" "$MANY" 2>&1 >/dev/null || true) | tail -1)
    T1=$(now)
    echo "report_many_$MODE $n $RSS $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.0f", (b - a) * 1000 }')" >>"$FIG"
  done
fi

# ---- viewer ------------------------------------------------------------------
if [ -n "$VIEWER_TIMING" ]; then
  echo "== viewer timing ($VIEWER_TIMING)"
  "$VIEWER_TIMING" | tee "$WORK/viewer.txt"
  grep -E '^[a-z_]+ [0-9.]+$' "$WORK/viewer.txt" | sed 's/^/viewer_/' >>"$FIG" || true
else
  echo "== no viewer timing tool built: viewer measurement skipped"
fi

echo
python3 "$ROOT/scripts/bench_table.py" "$BUILD/bench.json" "$FIG"
