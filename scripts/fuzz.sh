#!/usr/bin/env bash
# Builds the reader's fuzz target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (build dir build-fuzz) and runs it over the seeds
# (the generated sample units, one group of the large synthetic unit per
# version, and ../shared/corpus when present) with the
# format dictionary and a fixed seed, so a run is repeatable.
#
#   scripts/fuzz.sh [SECONDS]   short session, default 120 s
#   scripts/fuzz.sh --long      long session, 3600 s
#
# Fails on any finding; the crashing input is left in build-fuzz/findings/.
# Every run starts from the seeds alone (the inputs it adds go to
# build-fuzz/corpus/, emptied first), so the same build and the same number
# of executions give the same run.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)

SECONDS_TO_RUN=120
case "${1:-}" in
  --long) SECONDS_TO_RUN=3600 ;;
  "") ;;
  *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS|--long]" >&2; exit 2 ;;
  *) SECONDS_TO_RUN=$1 ;;
esac

# The configure step of the whole tree needs what the normal build needs.
bash "$ROOT/scripts/deps.sh"

BUILD="$ROOT/build-fuzz"
SAN_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
echo "== fuzz build (clang, libFuzzer, ASan, UBSan)"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DUNITPEEK_LIBFUZZER=ON -DUNITPEEK_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$SAN_FLAGS" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD" -j2 --target unit_fuzz samples fuzz_seed_files

SEEDS=("$BUILD/samples" "$BUILD/fuzz/seeds")
if [ -d "$ROOT/../shared/corpus" ]; then SEEDS+=("$ROOT/../shared/corpus"); fi
rm -rf "$BUILD/corpus" "$BUILD/findings"
mkdir -p "$BUILD/corpus" "$BUILD/findings"

echo "== fuzzing for ${SECONDS_TO_RUN} s"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# -rss_limit_mb and -malloc_limit_mb hold the reader to a bounded memory use
# on any input (inputs are at most 64 KiB); -timeout flags an input that takes
# more than 10 s. Seeds longer than -max_len are cut, so the larger real
# units only lend their beginnings.
set +e
"$BUILD/fuzz/unit_fuzz" "$BUILD/corpus" "${SEEDS[@]}" \
  -dict="$ROOT/fuzz/unit.dict" -seed=1 -max_total_time="$SECONDS_TO_RUN" \
  -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len=65536 \
  -artifact_prefix="$BUILD/findings/" -print_final_stats=1 >"$BUILD/fuzz.log" 2>&1
status=$?
set -e
grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|ERROR|finding|stat::number_of_executed_units|SUMMARY|Test unit written" \
  "$BUILD/fuzz.log" || true
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$BUILD/findings")" ]; then
  echo "== fuzzing found a problem (see $BUILD/fuzz.log and $BUILD/findings/)" >&2
  exit 1
fi
echo "== fuzzing: no findings"
