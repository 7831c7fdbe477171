#!/usr/bin/env bash
# What only the Windows program meets (called by scripts/windows_tests.sh):
# paths written with '\' printed as given, a file named in another letter
# case, non-ASCII file and folder names (UTF-8 through the manifest's code
# page), an option-like path that starts with '/', UTF-8 output with Unix
# line ends, and the summary in the user's own locale.
#
# Usage: windows_cases.sh WINE_DUMP LINUX_DUMP
# WINE_DUMP runs unitpeek-dump.exe under Wine (build-windows/unitpeek-dump-wine).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WIN=$(realpath "$1")
LINUX=$(realpath "$2")
export LC_ALL=C
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
failed=0

fail() {
  echo "FAIL: $*" >&2
  failed=1
}
# Standard output of a call, the exit status as a last line.
run() {
  set +e
  "$@" 2>/dev/null
  echo "exit $?"
  set -e
}
# The two programs give the same output for ARGS (run in $T).
same() {
  local what=$1
  shift
  (cd "$T" && run "$LINUX" "$@") >"$T/linux.out"
  (cd "$T" && run "$WIN" "$@") >"$T/windows.out"
  cmp -s "$T/linux.out" "$T/windows.out" || {
    fail "$what: Linux and Windows differ"
    diff "$T/linux.out" "$T/windows.out" | head -n 10 >&2
  }
}
# The Windows program's output for ARGS (run in $T) holds TEXT.
holds() {
  local what=$1 text=$2
  shift 2
  (cd "$T" && run "$WIN" "$@") >"$T/windows.out"
  grep -qF -- "$text" "$T/windows.out" || {
    fail "$what: no '$text' in"
    head -n 10 "$T/windows.out" >&2
  }
}

SAMPLES=$ROOT/build/samples
mkdir -p "$T/units/sub" "$T/Ünïcødé/Ordner äöü"
cp "$SAMPLES/Demo7.dcu" "$SAMPLES/Demo2.dcu" "$T/units/"
cp "$SAMPLES/Demo100.dcu" "$T/units/sub/"
cp "$SAMPLES/Demo7.dcu" "$T/Ünïcødé/Ordner äöü/Grüße €.dcu"
for i in $(seq 1 40); do echo "  source line $i;"; done >"$T/units/DEMO.PAS"

# Paths as given: '\' stays '\' in every mode that prints a path.
holds "--json with '\\'" '"path": "units\\Demo7.dcu"' --json 'units\Demo7.dcu'
holds "--report with '\\'" '.\units\sub\Demo100.dcu' --report '.\units'
holds "--report without a separator" 'units/sub/Demo100.dcu' --report 'units'
holds "--report of 'units\\sub'" 'units\sub\Demo100.dcu' --report 'units\sub'
holds "several files with '\\'" '==> units\Demo2.dcu <==' 'units\Demo7.dcu' 'units\Demo2.dcu'
same "--report with '/'" --report units
same "--graph with '/'" --graph units
same "--find with '/'" --find 'T*' --json units
# The unit path: one folder alike on both ('\' in it, and ';' between
# folders on Windows where Linux has ':').
same "--decls with a unit path" --decls --unit-path units units/Demo7.dcu
same "--report with a unit path" --report --unit-path units/sub units
holds "folders of the unit path split at ';'" 'Demo100.dcu (library)' --find Demo --unit-path 'nothing;units\sub' units/Demo7.dcu
# A name in another case is the same file; a source in another case is found.
holds "another letter case" '"unit": "Demo"' --json units/demo7.DCU
same "--code with the source in another case" --code units/Demo7.dcu
# (the sample's line table fits no real source: the listing names the file it
# found and checked)
holds "--code with the source in another case" 'the source file units/DEMO.PAS' --code units/Demo7.dcu
# Non-ASCII names, given and walked.
same "a non-ASCII name" --json "Ünïcødé/Ordner äöü/Grüße €.dcu"
same "a non-ASCII name, the summary" "Ünïcødé/Ordner äöü/Grüße €.dcu"
same "a folder of non-ASCII names" --report --json Ünïcødé
holds "a folder of non-ASCII names" 'Grüße €.dcu' --report Ünïcødé
mkdir -p "$T/Quellen äöü"
cp "$T/units/DEMO.PAS" "$T/Quellen äöü/demo.pas"
same "--source-dir with a non-ASCII name" --code --source-dir "Quellen äöü" units/Demo2.dcu
holds "--source-dir with a non-ASCII name" 'the source file Quellen äöü/demo.pas' --code --source-dir "Quellen äöü" units/Demo2.dcu
# A path that starts with '/' is a path, not a Windows option.
same "an absolute path" --json "$T/units/Demo7.dcu"
# UTF-8 and Unix line ends.
(cd "$T" && "$WIN" --report Ünïcødé >"$T/report.out" 2>/dev/null) || true
if grep -q $'\r' "$T/report.out"; then fail "a carriage return in the output"; fi
iconv -f UTF-8 -t UTF-8 "$T/report.out" >/dev/null 2>&1 || fail "the output is not UTF-8"
# The summary in the user's locale (Wine's default user locale when LC_ALL
# and LANG are not set): a date of the locale, the rest as in the C locale.
(cd "$T" && env -u LC_ALL -u LANG "$WIN" units/Demo7.dcu >"$T/user.out" 2>/dev/null) || fail "summary in the user's locale"
(cd "$T" && "$LINUX" units/Demo7.dcu >"$T/c.out" 2>/dev/null) || true
grep -q '^  Demo.pas (.*2004.*),$' "$T/user.out" || fail "no date of 2004 in the user's locale: $(sed -n 6p "$T/user.out")"
diff <(grep -v 2004 "$T/user.out") <(grep -v 2004 "$T/c.out") >/dev/null || fail "the user's locale changed more than the dates"

[ "$failed" = 0 ] && echo "Windows cases: paths as given, letter case, non-ASCII names, UTF-8, the user's locale"
exit "$failed"
