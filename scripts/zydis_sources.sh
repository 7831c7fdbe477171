#!/usr/bin/env bash
# Fetches the upstream sources of Zydis and Zycore into DIR/zydis and
# DIR/zycore with apt-get source, for the builds that compile them
# themselves (scripts/web.sh, scripts/windows.sh): bookworm's, as the Linux
# build's libzydis-dev, so that every build lists the same code; Zycore from
# trixie where bookworm's tarball is missing from the archive. Adds a
# deb-src line of Debian's own archive when a source is missing. Sources
# already there are kept. The caller installs dpkg-dev.
#
# Usage: scripts/zydis_sources.sh DIR
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
SRC=$1

SUDO=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO="sudo"; fi

# The source lines of Debian's archive (bookworm, and trixie for Zycore).
SOURCES_LIST=/etc/apt/sources.list.d/unitpeek-src.sources
add_source_lines() {
  grep -qs trixie "$SOURCES_LIST" && return
  echo "== adding deb-src lines ($SOURCES_LIST)"
  $SUDO tee "$SOURCES_LIST" >/dev/null <<'LINES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LINES
  $SUDO apt-get update
}

# Unpacks the upstream tarball of source package $1 (release $2) into
# $SRC/$3; true when it is there.
fetch_source() {
  local pkg=$1 release=$2 dir=$3
  [ -f "$SRC/$dir/CMakeLists.txt" ] && return 0
  mkdir -p "$SRC/download"
  # The download may fail for the Debian files while the tarball came.
  (cd "$SRC/download" && apt-get source --download-only "$pkg/$release" >/dev/null 2>&1) || true
  local tarball
  tarball=$(ls -t "$SRC/download/${pkg}"_*.orig.tar.* 2>/dev/null | head -n 1 || true)
  [ -n "$tarball" ] || return 1
  rm -rf "${SRC:?}/$dir" && mkdir -p "$SRC/$dir"
  tar -xf "$tarball" -C "$SRC/$dir" --strip-components=1
  echo "== $dir from $(basename "$tarball")"
}

if [ ! -f "$SRC/zydis/CMakeLists.txt" ] || [ ! -f "$SRC/zycore/CMakeLists.txt" ]; then add_source_lines; fi
fetch_source zydis bookworm zydis || { echo "no source of zydis" >&2; exit 1; }
if ! fetch_source zycore-c bookworm zycore; then
  echo "== bookworm's zycore-c source is not in the archive: trixie's"
  fetch_source zycore-c trixie zycore || { echo "no source of zycore-c" >&2; exit 1; }
fi
