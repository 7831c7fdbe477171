#!/usr/bin/env bash
# Builds the page that opens units in the browser into build-web/:
#
#   1. installs what it needs (Debian's emscripten; with --test also
#      Debian's chromium and, from npm as pinned in web/test/package-lock.json,
#      puppeteer-core) and fetches the sources of Zydis and Zycore
#      (scripts/zydis_sources.sh, with apt-get source);
#   2. compiles the reader and its Qt-free libraries to WebAssembly
#      (web/CMakeLists.txt) and lays out the page: index.html, unitpeek.js and
#      unitpeek.wasm, worker.js, app.js, style.css, and worker-bundle.js (the
#      worker with the module inside, for a page opened from file://);
#   3. with --test, runs the browser tests (web/test/browser_test.cjs) in
#      headless chromium against build/cli/unitpeek-dump (built when
#      missing), writing the screenshots of the views into docs/.
#
# Usage: scripts/web.sh [--test]
# With --test, UNITPEEK_WEB_DUMP names another command line to compare with,
# UNITPEEK_WEB_DOCS another folder for the pictures, UNITPEEK_WEB_FIGURES a
# file the budgets' figures are appended to (scripts/bench.sh).
# Open build-web/index.html in a browser, or serve build-web/ from any
# static host.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build-web
SRC=$OUT/src
RUN_TESTS=0
[ "${1:-}" = "--test" ] && RUN_TESTS=1

install_packages() {
  local packages=(emscripten node-acorn nodejs cmake dpkg-dev)
  [ "$RUN_TESTS" = 1 ] && packages+=(chromium npm)
  local missing=() p
  for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  # A node of another origin than Debian's is as good.
  if [ "$RUN_TESTS" = 1 ] && command -v npm >/dev/null 2>&1; then
    missing=("${missing[@]/npm}")
  fi
  command -v node >/dev/null 2>&1 && missing=("${missing[@]/nodejs}")
  local wanted=()
  for p in "${missing[@]}"; do [ -n "$p" ] && wanted+=("$p"); done
  [ "${#wanted[@]}" -eq 0 ] && return
  bash "$ROOT/scripts/deps.sh" "${wanted[@]}"
}

# Zydis and Zycore, compiled here for this build (scripts/zydis_sources.sh).
fetch_sources() { "$ROOT/scripts/zydis_sources.sh" "$SRC"; }

build_module() {
  echo "== module (emscripten) ($(date +%T))"
  # Debian's acorn, for emscripten's tools under any node.
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  emcmake cmake -S "$ROOT/web" -B "$OUT/cmake" -DCMAKE_BUILD_TYPE=Release \
    -DZYDIS_SOURCE_DIR="$SRC/zydis" -DZYCORE_SOURCE_DIR="$SRC/zycore" >"$OUT/configure.log"
  cmake --build "$OUT/cmake" -j2 --target unitpeek
}

lay_out_page() {
  cp "$ROOT"/web/page/{index.html,app.js,worker.js,style.css} "$OUT/"
  cp "$OUT"/cmake/unitpeek.{js,wasm} "$OUT/"
  node "$ROOT/web/bundle.cjs" "$OUT"
  echo "== page: $OUT/index.html (module $(stat -c %s "$OUT/unitpeek.wasm") bytes," \
       "$(gzip -9 -c "$OUT/unitpeek.wasm" | wc -c) gzipped)"
}

run_tests() {
  local dump=${UNITPEEK_WEB_DUMP:-$ROOT/build/cli/unitpeek-dump}
  [ -x "$dump" ] || {
    cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
    cmake --build "$ROOT/build" -j2 --target unitpeek-dump
  }
  # The test's packages as web/test/package-lock.json pins them, in the
  # build folder (not among the sources).
  mkdir -p "$OUT/test-deps"
  cp "$ROOT"/web/test/package.json "$ROOT"/web/test/package-lock.json "$OUT/test-deps/"
  (cd "$OUT/test-deps" && npm ci --no-audit --no-fund --ignore-scripts >/dev/null)
  echo "== browser tests ($(date +%T))"
  NODE_PATH="$OUT/test-deps/node_modules" node "$ROOT/web/test/browser_test.cjs" "$OUT" "$dump" \
    "${UNITPEEK_WEB_DOCS:-$ROOT/docs}"
}

install_packages
fetch_sources
mkdir -p "$OUT"
build_module
lay_out_page
[ "$RUN_TESTS" = 1 ] && run_tests
exit 0
