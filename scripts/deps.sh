#!/usr/bin/env bash
# Installs the packages the build needs with apt-get, when any is missing;
# with PACKAGE arguments, those instead (scripts/web.sh, scripts/windows.sh).
# Run by the other scripts.
#
# Usage: deps.sh [PACKAGE...]
set -euo pipefail

PACKAGES=(cmake g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          qt6-base-dev nlohmann-json3-dev pkg-config libgraphviz-dev xvfb xauth)

# The disassembler of the code listing (32-bit x86).
PACKAGES+=(libzydis-dev)

# The compiler that judges the unit skeletons (Pascal in Delphi mode), with
# the units of its own that stand in for the runtime library.
PACKAGES+=(fp-compiler fp-units-fcl)

# The release files, the Debian package (cpack -G DEB) and their tests.
PACKAGES+=(dpkg-dev file binutils groff-base man-db desktop-file-utils appstream lintian)

[ $# -gt 0 ] && PACKAGES=("$@")

SUDO=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then missing+=("$p"); fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi
