#!/usr/bin/env bash
# The tests of unitpeek-dump.exe under Wine (called by scripts/windows.sh):
#
#   1. the same answers: the Linux program and the .exe run in every mode of
#      scripts/snapshot_outputs.sh over ../shared/corpus (skipped, saying so,
#      when it is absent) and over the sample units, and their standard
#      output and exit status must be the same byte for byte; the standard
#      error too, once the program's own path (which names the program in
#      a usage text) is put aside;
#   2. what only Windows has: paths with '\' printed as given, file names
#      in another letter case, non-ASCII names, UTF-8 and Unix line ends
#      (scripts/windows_cases.sh);
#   3. the command-line tests of the Linux build (cli_tests and
#      summary_tests, which run the program as a shell command) against the
#      .exe, leaving out those that need what Windows lacks (see
#      WINDOWS_SKIPPED_TESTS below).
#
# Usage: windows_tests.sh EXE [LINUX_DUMP]
# LINUX_DUMP defaults to build/cli/unitpeek-dump (built when missing).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
EXE=$(realpath "$1")
LINUX=${2:-$ROOT/build/cli/unitpeek-dump}
OUT=$(dirname "$(dirname "$EXE")")
CORPUS=$ROOT/../shared/corpus

# One Wine prefix for the build, made once; no windows, no Mono or Gecko.
export WINEPREFIX=$OUT/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
# The program under Wine as a program of its own, for scripts and tests.
WRAPPER=$OUT/unitpeek-dump-wine
# Wine reads the Unix names and arguments in the character set of the Unix
# locale: under C (ASCII) it would drop the high bit of every UTF-8 byte.
# C.UTF-8 is the C locale to the program as well.
# A run that Wine itself broke off ("wine client error": its server went
# away before the program ran) is run again, up to three times; the output
# is held until the run that counts, then given as it came (standard output,
# standard error).
cat >"$WRAPPER" <<EOF
#!/bin/sh
# unitpeek-dump.exe under Wine (scripts/windows_tests.sh).
case "\${LC_ALL:-}" in C|POSIX) LC_ALL=C.UTF-8; export LC_ALL ;; esac
export WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY=
held=\$(mktemp -d)
for try in 1 2 3; do
  wine '$EXE' "\$@" >"\$held/out" 2>"\$held/err"
  status=\$?
  grep -q '^wine client error:' "\$held/err" || break
  wineserver -p 60 2>/dev/null
done
cat "\$held/out"
cat "\$held/err" >&2
rm -rf "\$held"
exit \$status
EOF
chmod +x "$WRAPPER"
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
# One server for all the runs: each run then starts in a fraction of a second.
wineserver -p 60 || true

SUMMARY_TESTS=$ROOT/build/tests/summary/summary_tests
if [ ! -x "$LINUX" ] || [ ! -d "$ROOT/build/samples" ] || [ ! -x "$SUMMARY_TESTS" ]; then
  cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
  cmake --build "$ROOT/build" -j2 --target unitpeek-dump samples summary_tests
fi

SCRATCH=$(mktemp -d)
# The prefix's server ends with the tests (it was kept for their runs).
trap 'rm -rf "$SCRATCH"; wineserver -k 2>/dev/null || true' EXIT
failed=0

# The snapshots of both programs over UNITS, compared: NAME UNITS.
same_answers() {
  local name=$1 units=$2 modes="--code,--decls --json,--code,--decls --decls,--json"
  SNAPSHOT_EXTRA_MODES=$modes "$ROOT/scripts/snapshot_outputs.sh" "$LINUX" "$SCRATCH/$name-linux" "$units" >/dev/null
  SNAPSHOT_EXTRA_MODES=$modes "$ROOT/scripts/snapshot_outputs.sh" "$WRAPPER" "$SCRATCH/$name-windows" "$units" >/dev/null
  # The usage texts name the program by the path Wine gives it.
  local exe_dos
  exe_dos=$(winepath -w "$EXE" 2>/dev/null)
  for f in "$SCRATCH/$name-windows"/*.err; do
    EXE_DOS=$exe_dos perl -pi -e 's/\Q$ENV{EXE_DOS}\E/unitpeek-dump/g' "$f"
  done
  if diff -r "$SCRATCH/$name-linux" "$SCRATCH/$name-windows" >"$SCRATCH/$name.diff"; then
    echo "same answers on Linux and Windows: $name ($(ls "$SCRATCH/$name-linux" | grep -c '\.out$') runs)"
  else
    echo "FAIL: Linux and Windows answer differently ($name):" >&2
    head -n 40 "$SCRATCH/$name.diff" >&2
    # Last, where a shortened log still shows it: the runs that differ, and
    # what the .exe said on its standard error in them.
    echo "the runs that differ ($name):" >&2
    diff -rq "$SCRATCH/$name-linux" "$SCRATCH/$name-windows" | sed -n 's|.*/\([^/]*\)\.[a-z]* differ$|\1|p' | sort -u |
      while read -r run; do
        echo "  $run: exit $(cat "$SCRATCH/$name-windows/$run.rc"); $(head -c 300 "$SCRATCH/$name-windows/$run.err")" >&2
      done
    failed=1
  fi
}

echo "== the same answers ($(date +%T))"
same_answers samples "$ROOT/build/samples"
if [ -d "$CORPUS" ]; then
  same_answers corpus "$CORPUS"
else
  echo "SKIP: no corpus at $CORPUS: the answers over real units are not compared"
fi

# The files read ahead on a thread of their own (--json --decls), run again
# and again: what goes wrong only at a thread's end, now and then (the
# thread's memory freed in the wrong order), shows in some of the runs.
echo "== a reading thread's end, 100 runs ($(date +%T))"
(
  cd "$ROOT/build/samples"
  mapfile -t SAMPLES < <(find . -maxdepth 1 -type f -iname '*.dcu' | LC_ALL=C sort)
  LC_ALL=C "$LINUX" --json --decls "${SAMPLES[@]}" >"$SCRATCH/ahead-linux.out" 2>/dev/null || true
  bad=0
  for run in $(seq 1 100); do
    LC_ALL=C "$WRAPPER" --json --decls "${SAMPLES[@]}" >"$SCRATCH/ahead-windows.out" 2>"$SCRATCH/ahead-windows.err" || true
    cmp -s "$SCRATCH/ahead-linux.out" "$SCRATCH/ahead-windows.out" && continue
    echo "FAIL: run $run of --json --decls differs from Linux's:" >&2
    head -c 2000 "$SCRATCH/ahead-windows.err" >&2
    bad=1
    break
  done
  [ "$bad" = 0 ] && echo "the same answer in each of the 100 runs"
  exit "$bad"
) || failed=1

echo "== what only Windows has ($(date +%T))"
"$ROOT/scripts/windows_cases.sh" "$WRAPPER" "$LINUX" || failed=1

# The command-line tests of the Linux build, run against the .exe. Left out:
# the in-process tests of the writers, locale and platform layer (they test
# the Linux build's libraries, not the program), and a file name that is no
# valid UTF-8, which Windows cannot name. The FIFO and /dev/zero of the
# tests run too: under Wine they are the Unix files, which the program
# refuses as not regular (Windows has no FIFOs in its file system, and its
# named pipes are no files a user gives by path).
CLI_SUITES='CommandLine.*:CodeCommandLine.*:FindCommand.*:GraphCommand.*:ReportCommand.*'
WINDOWS_SKIPPED_TESTS='CommandLine.JsonTextIsLaidOutAsTheJsonLibraryDumpsItWithNamesAsTheSummaryShowsThem'
echo "== the command-line tests against the .exe ($(date +%T))"
if UNITPEEK_TEST_DUMP=$WRAPPER LC_ALL=C "$SUMMARY_TESTS" --gtest_filter="$CLI_SUITES-$WINDOWS_SKIPPED_TESTS" \
  --gtest_brief=1 >"$SCRATCH/cli-tests.log" 2>&1; then
  echo "command-line tests passed against the .exe: $(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$SCRATCH/cli-tests.log" || true)"
else
  cat "$SCRATCH/cli-tests.log" >&2
  failed=1
fi

[ "$failed" = 0 ] || { echo "FAIL: unitpeek-dump.exe" >&2; exit 1; }
echo "== unitpeek-dump.exe passed ($(date +%T))"
