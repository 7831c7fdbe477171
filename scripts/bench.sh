#!/usr/bin/env bash
# Builds the benchmarks (build-bench, Release) and measures, in one run:
#   1. the reader and summary benchmarks, each next to its read-and-sum
#      baseline (Google Benchmark; raw results in build-bench/bench.json);
#   2. unitpeek-dump --json over the whole corpus, all files in one
#      invocation and one file per invocation, against cksum of the same
#      files, reading and summing them, and cat, and unitpeek-dump --json
#      --decls (the declarations too) next to --json (target: at most 2x),
#      and unitpeek-dump --code --json and --code (every routine
#      disassembled) next to Zydis decoding and formatting the same
#      instructions in a tight loop (unitpeek_code_bench --stage zydis) plus
#      --json (target: at most 2x) (scripts/bench_cli.py, medians of five
#      rounds);
#      the declarations outline's size per declaration (target: 200 bytes);
#   3. the peak resident memory while loading the large synthetic unit,
#      against its file size, and that of unitpeek-dump --code and --code
#      --json on it (routine by routine: at most 3x the file + 16 MB);
#   4. unitpeek-dump --report over the corpus against its --json run, and the
#      peak memory of the report over 10,000 units (the corpus linked into
#      many folders); unitpeek-dump --find next to --report, over the corpus
#      and over the 10,000 units (time and peak memory, target: at most 2x
#      the time and 150 MB), the find index built with the folder scan as
#      the viewer builds it (peak memory) and its queries (target: 50 ms);
#   4b. units read with their used units on the unit path against alone, and
#      the report with the corpus's library folders against without
#      (scripts/bench_unit_path.py; targets: at most 1.5x);
#   5. the page (scripts/web.sh --test): its module's size, the largest
#      corpus unit's Summary and Code view, the folder report against
#      --report's time;
#   6. the viewer timing tool, when it has been built;
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
cmake --build "$BUILD" -j2 --target unitpeek_bench unitpeek_benchtool unitpeek_code_bench unitpeek-dump
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
DUMP="$BUILD/cli/unitpeek-dump"
TOOL="$BUILD/bench/unitpeek_benchtool"
find "$CORPUS" -type f ! -name manifest.tsv 2>/dev/null | sort >"$WORK/files.txt" || true
if [ -s "$WORK/files.txt" ]; then
  echo "== command-line batch over $(wc -l <"$WORK/files.txt") corpus files"
  echo "cli_files $(wc -l <"$WORK/files.txt")" >>"$FIG"
  echo "cli_bytes $(tr '\n' '\0' <"$WORK/files.txt" | xargs -0 cat | wc -c)" >>"$FIG"
  python3 "$ROOT/scripts/bench_cli.py" "$DUMP" "$TOOL" "$WORK/files.txt" 5 >>"$FIG"
  # The code's own limit: the least of five tight loops of Zydis over the
  # instructions of every listing of the corpus.
  "$BUILD/bench/unitpeek_code_bench" --stage zydis | grep '^zydis_loop_ms' | sed 's/^/code_/' >>"$FIG"
  # The folder report over the same files, text and JSON, against --json:
  # the three taken in turn, ten rounds, so that a busy moment of the machine
  # does not fall on one of them only; the least wall and processor (user +
  # system) time of each.
  cat >"$WORK/report_times.py" <<'PY'
import os, subprocess, sys, time
dump = sys.argv[1]
with open(sys.argv[2]) as f:
    files = [line.rstrip("\n") for line in f if line.strip()]
modes = {"base": ["--json"], "text": ["--report"], "json": ["--report", "--json"],
         "find": ["--find", "TDPEMain"]}
wall, cpu = {}, {}
for _ in range(10):
    for key, flags in modes.items():
        t0 = time.perf_counter()
        p = subprocess.Popen([dump, *flags, *files], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(p.pid, 0)
        p.returncode = 0
        w = (time.perf_counter() - t0) * 1000
        c = (usage.ru_utime + usage.ru_stime) * 1000
        wall[key] = min(wall.get(key, w), w)
        cpu[key] = min(cpu.get(key, c), c)
for key in modes:
    print(f"report_{key}_ms {wall[key]:.1f}")
    print(f"report_{key}_cpu_ms {cpu[key]:.1f}")
PY
  python3 "$WORK/report_times.py" "$DUMP" "$WORK/files.txt" >>"$FIG"
  # The declarations outline's heap bytes per declaration (entries and
  # members), with the marked runs the viewer keeps and without.
  tr '\n' '\0' <"$WORK/files.txt" | xargs -0 "$TOOL" outline |
    awk '{ for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
           print "outline_spans" v["spans"], v["declarations"], v["bytes"] }' >>"$FIG"
else
  echo "== no corpus at $CORPUS: command-line batch skipped"
fi

# ---- the unit path -------------------------------------------------------------
if [ -f "$CORPUS/manifest.tsv" ]; then
  echo "== units with their used units at hand, and the report with the library folders"
  python3 "$ROOT/scripts/bench_unit_path.py" "$DUMP" "$CORPUS" 7 >>"$FIG"
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
  CRSS=$(/usr/bin/time -f "%M" "$DUMP" --code "$WORK/large$S.dcu" 2>&1 >/dev/null | tail -1)
  CJRSS=$(/usr/bin/time -f "%M" "$DUMP" --code --json "$WORK/large$S.dcu" 2>&1 >/dev/null | tail -1)
  echo "codemem_${S}x $SIZE $CRSS $CJRSS $DRSS" >>"$FIG"
done

# ---- folder report over 10,000 units ------------------------------------------
# The corpus linked into as many folders as it takes; the report's facts of
# every unit stay in memory, the units themselves do not.
mapfile -t FILES <"$WORK/files.txt"
now() { date +%s.%N; }
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
    RSS=$( (/usr/bin/time -f "%M" "$DUMP" "${FLAGS[@]}" --jobs 1 "$MANY" 2>&1 >/dev/null || true) | tail -1)
    T1=$(now)
    echo "report_many_$MODE $n $RSS $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.0f", (b - a) * 1000 }')" >>"$FIG"
  done
  # One thread against two, taken in turn, three runs each: the medians of
  # wall time and peak memory.
  echo "== the folder report over 10000 units on one thread and on two"
  for JOBS in 1 2 1 2 1 2; do
    T0=$(now)
    RSS=$( (/usr/bin/time -f "%M" "$DUMP" --report --json --jobs "$JOBS" "$MANY" 2>&1 >/dev/null || true) | tail -1)
    T1=$(now)
    echo "$JOBS $RSS $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.0f", (b - a) * 1000 }')" >>"$WORK/jobs.txt"
  done
  for JOBS in 1 2; do
    RSS=$(awk -v j="$JOBS" '$1 == j { print $2 }' "$WORK/jobs.txt" | sort -n | sed -n 2p)
    MS=$(awk -v j="$JOBS" '$1 == j { print $3 }' "$WORK/jobs.txt" | sort -n | sed -n 2p)
    echo "report_jobs$JOBS $n $RSS $MS" >>"$FIG"
  done
  # --find over the same units: the index alone, and the lines of the 36
  # hits (the form variable of the DPE form unit, in every copy).
  echo "== find over 10000 units"
  T0=$(now)
  RSS=$( ("/usr/bin/time" -f "%M" "$DUMP" --find DPEMain --jobs 1 "$MANY" 2>&1 >/dev/null || true) | tail -1)
  T1=$(now)
  echo "find_many $n $RSS $(awk -v a="$T0" -v b="$T1" 'BEGIN { printf "%.0f", (b - a) * 1000 }')" >>"$FIG"
  # The index built with the folder scan (the report's facts kept too, as in
  # the viewer), then queries: exact, members, a unit name, wildcards, all.
  "$TOOL" find "$MANY" DPEMain 'TDPEMain.*' dpemform 'T?PEM*' '*.Create' '*Form*' '*' | tee "$WORK/find.txt"
  awk '/^find_scan/ { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                      print "find_scan", v["units"], v["declarations"], v["ms"], v["index_bytes"], v["peakrss_kb"] }
       /^find_query/ { q++; for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                       print "find_query_" q, v["pattern"], v["hits"], v["units"], v["users"], v["ms"], v["cpu_ms"], v["lines_ms"] }' \
    "$WORK/find.txt" >>"$FIG"
fi

# ---- the page ----------------------------------------------------------------
# The module's size, the largest corpus unit's Summary and Code view in
# headless chromium, and the folder report there against this run's
# --report (scripts/web.sh --test against this build's unitpeek-dump).
echo "== the page in a browser"
UNITPEEK_WEB_DUMP="$DUMP" UNITPEEK_WEB_DOCS="$WORK/web-docs" UNITPEEK_WEB_FIGURES="$FIG" \
  "$ROOT/scripts/web.sh" --test || echo "== the page's tests failed"

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
