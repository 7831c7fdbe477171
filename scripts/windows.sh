#!/usr/bin/env bash
# Builds unitpeek-dump.exe for 64-bit Windows and tests it under Wine:
#
#   1. installs what it needs (MinGW-w64 with POSIX threads, Wine, zip) and
#      fetches the sources of Zydis and Zycore (scripts/zydis_sources.sh,
#      with apt-get source);
#   2. cross-builds Zydis and Zycore, then the program, into build-windows/;
#   3. runs the tests that apply under Wine (scripts/windows_tests.sh): the
#      command-line tests of the Linux build against the .exe, and the
#      same answers as the Linux program on every unit of ../shared/corpus;
#   4. writes build-windows/unitpeek-windows.zip: the program, README, WINDOWS.md,
#      LICENSE and the manual page as text.
#
# Usage: scripts/windows.sh [--no-tests]
# The Linux program the answers are compared with is build/cli/unitpeek-dump
# (built when missing).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build-windows
DEPS=$OUT/deps
SRC=$OUT/src
RUN_TESTS=1
[ "${1:-}" = "--no-tests" ] && RUN_TESTS=0

install_packages() {
  bash "$ROOT/scripts/deps.sh" g++-mingw-w64-x86-64-posix wine64 wine zip dpkg-dev groff-base cmake libcli11-dev
}

# Zydis and Zycore, compiled here for this build (scripts/zydis_sources.sh).
fetch_sources() { "$ROOT/scripts/zydis_sources.sh" "$SRC"; }

TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake

build_zydis() {
  [ -f "$DEPS/.built" ] && return
  echo "== Zydis and Zycore for Windows ($(date +%T))"
  cmake -S "$SRC/zydis" -B "$OUT/zydis-build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$DEPS" -DZYAN_ZYCORE_PATH="$SRC/zycore" -DZYDIS_BUILD_SHARED_LIB=OFF \
    -DZYDIS_BUILD_EXAMPLES=OFF -DZYDIS_BUILD_TOOLS=OFF -DZYDIS_BUILD_DOXYGEN=OFF \
    -DZYDIS_BUILD_MAN=OFF >"$OUT/zydis-configure.log"
  cmake --build "$OUT/zydis-build" -j2 >"$OUT/zydis-build.log"
  cmake --install "$OUT/zydis-build" >/dev/null
  # Zycore is built as Zydis's part; its library and headers go beside it.
  if [ ! -f "$DEPS/lib/libZycore.a" ]; then
    cp "$(find "$OUT/zydis-build" -name libZycore.a | head -n 1)" "$DEPS/lib/"
    cp -r "$SRC/zycore/include/Zycore" "$DEPS/include/"
  fi
  touch "$DEPS/.built"
}

# CLI11 is headers only; the host's package names /usr/include, where the
# cross compiler must not look: its headers are copied beside Zydis's, with
# a package file of their own.
copy_cli11() {
  [ -f "$DEPS/lib/cmake/CLI11/CLI11Config.cmake" ] && return
  mkdir -p "$DEPS/include" "$DEPS/lib/cmake/CLI11"
  cp -r /usr/include/CLI "$DEPS/include/"
  cat >"$DEPS/lib/cmake/CLI11/CLI11Config.cmake" <<'EOF'
# CLI11's headers for the Windows build (scripts/windows.sh).
if(NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES
                        INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/../../../include")
endif()
EOF
}

build_program() {
  echo "== unitpeek-dump.exe ($(date +%T))"
  cmake -S "$ROOT" -B "$OUT" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_DISABLE_FIND_PACKAGE_zydis=ON -DCMAKE_DISABLE_FIND_PACKAGE_zycore=ON -DZYDIS_INCLUDE_DIR="$DEPS/include" \
    -DZYDIS_LIBRARY="$DEPS/lib/libZydis.a" -DZYCORE_LIBRARY="$DEPS/lib/libZycore.a" \
    -DCLI11_DIR="$DEPS/lib/cmake/CLI11" -DCMAKE_CXX_FLAGS="-Wno-restrict" >"$OUT/configure.log"
  cmake --build "$OUT" -j2 --target unitpeek-dump
}

write_zip() {
  local stage=$OUT/zip/unitpeek-windows
  rm -rf "$OUT/zip" "$OUT/unitpeek-windows.zip"
  mkdir -p "$stage"
  cp "$OUT/cli/unitpeek-dump.exe" "$stage/"
  x86_64-w64-mingw32-strip "$stage/unitpeek-dump.exe"
  # Windows line ends for the texts, so that Notepad shows them as written.
  sed 's/$/\r/' "$ROOT/README.md" >"$stage/README.md"
  # The README's guide of the Windows program, beside it (the README links it).
  sed 's/$/\r/' "$ROOT/docs/windows.md" >"$stage/WINDOWS.md"
  sed 's/$/\r/' "$ROOT/LICENSE" >"$stage/LICENSE.txt"
  local date
  date=$(sed -n 's/^set(UNITPEEK_RELEASE_DATE "\(.*\)")/\1/p' "$ROOT/cmake/Packaging.cmake")
  sed -e "s/@PROJECT_VERSION@/$(version)/g" -e "s/@UNITPEEK_RELEASE_DATE@/$date/g" "$ROOT/packaging/unitpeek-dump.1.in" |
    MANWIDTH=80 groff -man -Tutf8 -P-cbou 2>/dev/null | sed 's/$/\r/' >"$stage/unitpeek-dump.txt"
  [ -s "$stage/unitpeek-dump.txt" ] || { echo "the manual page did not render" >&2; exit 1; }
  (cd "$OUT/zip" && zip -qr -X "$OUT/unitpeek-windows.zip" unitpeek-windows)
  echo "== wrote $OUT/unitpeek-windows.zip ($(du -k "$OUT/unitpeek-windows.zip" | cut -f1) KiB)"
}

version() { sed -n 's/^project(UnitPeek VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt"; }

mkdir -p "$OUT"
install_packages
fetch_sources
build_zydis
copy_cli11
build_program
if [ "$RUN_TESTS" = 1 ]; then
  "$ROOT/scripts/windows_tests.sh" "$OUT/cli/unitpeek-dump.exe"
fi
write_zip
