#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the whole test
# suite, builds and tests the Windows program (scripts/windows.sh) and the
# page in a browser (scripts/web.sh --test), then
# builds the reader alone under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the reader tests again.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash "$ROOT/scripts/deps.sh"

export QT_QPA_PLATFORM=offscreen
export LC_ALL=C

echo "== build (RelWithDebInfo) ($(date +%T))"
# Line tables only (-g1): stack traces keep their lines, and the build is
# quicker than with full debugging information.
cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build "$ROOT/build" -j2
echo "== tests ($(date +%T))"
(cd "$ROOT/build" && ctest -j2 --output-on-failure)

# unitpeek-dump.exe: cross-built with MinGW-w64, its tests under Wine (the
# same answers as the Linux program over the corpus), the zip.
echo "== the Windows program ($(date +%T))"
"$ROOT/scripts/windows.sh"
# ---- WEB STEP HOOK ----------------------------------------------------------
# The page: the reader compiled to WebAssembly (emscripten), its views in
# headless chromium, every corpus unit's summary and JSON held against the
# command line's just built (scripts/web.sh --test).
echo "== the page in a browser ($(date +%T))"
"$ROOT/scripts/web.sh" --test
# ---- END WEB STEP HOOK ------------------------------------------------------

echo "== reader under AddressSanitizer + UndefinedBehaviorSanitizer ($(date +%T))"
SAN_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$ROOT" -B "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DUNITPEEK_READER_ONLY=ON \
  -DCMAKE_CXX_FLAGS="$SAN_FLAGS -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DCMAKE_EXE_LINKER_FLAGS="$SAN_FLAGS"
cmake --build "$ROOT/build-asan" -j2 --target reader_tests folder_tests code_tests compare_tests
(cd "$ROOT/build-asan" &&
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest -j2 --output-on-failure)

# ---- FUZZ STEP HOOK ---------------------------------------------------------
# A short, repeatable fuzzing run (fixed seed, a minute) of the reader, the
# summary and JSON writers, the declarations and the code listing under
# clang, libFuzzer, ASan and UBSan; fails on any finding. scripts/fuzz.sh --long runs a long session.
echo "== short fuzzing session ($(date +%T))"
"$ROOT/scripts/fuzz.sh" 60
# ---- END FUZZ STEP HOOK -----------------------------------------------------

echo "== all tests passed ($(date +%T))"
