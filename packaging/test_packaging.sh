#!/usr/bin/env bash
# Tests of the release files, run by CTest (cmake/Packaging.cmake):
#   manpages DUMP PAGE...      the pages lint clean and PAGE 1 names every option of DUMP --help
#   desktop FILE               desktop-file-validate
#   metainfo FILE              appstreamcli validate --no-net
#   deb BUILD VERSION DUMP SAMPLE ID DATE
#                              cpack -G DEB, dpkg -x into a scratch root, run the programs there
#   lintian BUILD              cpack -G DEB, then lintian: fails on any error (E:), shows the rest
# Exit status 77 (skipped) when a tool is missing; scripts/deps.sh installs them.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
need() {
  for t in "$@"; do
    command -v "$t" >/dev/null 2>&1 || { echo "SKIP: $t is not installed (scripts/deps.sh installs it)"; exit 77; }
  done
}

# Builds the package of the build folder $1 into the scratch folder $scratch
# (removed on exit); sets deb to its path.
build_deb() {
  local cpack=${CPACK:-cpack}
  need "$cpack" dpkg-deb dpkg-shlibdeps
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/unitpeek-deb.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  "$cpack" -G DEB --config "$1/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack -G DEB failed"; }
  local debs=("$scratch"/out/unitpeek_*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one unitpeek_*.deb, got: ${debs[*]}"
  deb=${debs[0]}
  echo "built $(basename "$deb") ($(stat -c %s "$deb") bytes)"
}

mode=$1; shift
case $mode in
manpages)
  need groff man
  dump=$1; shift
  for page in "$@"; do
    # Any warning of the formatter (-ww: all of them) or of man fails.
    out=$(groff -ww -z -man "$page" 2>&1) || fail "groff failed on $page"
    [ -z "$out" ] || fail "groff warnings in $page: $out"
    out=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man failed on $page"
    [ -z "$out" ] || fail "man warnings in $page: $out"
  done
  # Every long option that --help lists is documented in the first page.
  page=$1
  text=$(sed 's/\\-/-/g' "$page")
  opts=$("$dump" --help | grep -oE '^ +(-[a-zA-Z?], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$opts" ] || fail "no options found in $dump --help"
  for o in $opts; do
    grep -qE -- "(^|[^a-z-])$o([^a-z-]|$)" <<<"$text" || fail "$page does not document $o"
  done
  echo "manual pages lint clean; $(wc -w <<<"$opts") options of --help documented"
  ;;
desktop)
  need desktop-file-validate
  desktop-file-validate "$1"
  echo "desktop entry valid"
  ;;
metainfo)
  need appstreamcli
  appstreamcli validate --no-net "$1"
  ;;
deb)
  build=$1 version=$2 dump=$3 sample=$4 id=$5 date=$6
  build_deb "$build"

  # Control fields: name, version from the project, runtime dependencies.
  [ "$(dpkg-deb -f "$deb" Package)" = unitpeek ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version) != $version"
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
  for d in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libstdc++6; do
    grep -qxF "$d" <<<"$names" || fail "Depends lacks $d"
  done

  # Contents: everything under /usr, and every file a user needs.
  dpkg-deb -c "$deb" | awk '{print $6}' | grep -vE '^\./(usr/.*)?$' && fail "files outside /usr"
  root=$scratch/root
  dpkg-deb -x "$deb" "$root"
  for f in usr/bin/unitpeek usr/bin/unitpeek-dump \
           usr/share/man/man1/unitpeek-dump.1.gz usr/share/man/man1/unitpeek.1.gz \
           usr/share/applications/unitpeek.desktop usr/share/mime/packages/unitpeek-dcu.xml \
           usr/share/icons/hicolor/scalable/apps/unitpeek.svg \
           usr/share/icons/hicolor/64x64/apps/unitpeek.png usr/share/icons/hicolor/128x128/apps/unitpeek.png \
           "usr/share/metainfo/$id.metainfo.xml" \
           usr/share/doc/unitpeek/copyright usr/share/doc/unitpeek/changelog.gz; do
    [ -s "$root/$f" ] || fail "package lacks /$f"
  done
  # unitpeek-dump is one program: no module of its own beside it.
  if [ -d "$root/usr/lib" ] && find "$root/usr/lib" -path '*/unitpeek/*' | grep -q .; then
    fail "package holds a private library folder of unitpeek"
  fi
  grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo version"
  grep -q "<project_license>MIT</project_license>" "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo licence"
  # The licence: the copyright file holds LICENSE's holder and text.
  doc=$root/usr/share/doc/unitpeek
  grep -qx "Copyright: 2026 The UnitPeek developers" "$doc/copyright" || fail "copyright holder"
  grep -qx " Permission is hereby granted, free of charge, to any person obtaining a copy" "$doc/copyright" ||
    fail "copyright file lacks the licence text"
  # The changelog: this version first, signed on the release date.
  changelog=$(zcat "$doc/changelog.gz")
  [[ $(head -1 <<<"$changelog") == "unitpeek ($version) "* ]] || fail "changelog version"
  signature=$(grep -m1 '^ -- ' <<<"$changelog") || fail "changelog without a signature line"
  [[ $signature == " -- "*" <"*@*">  $(LC_ALL=C date -u -R -d "$date")" ]] ||
    fail "changelog signature '$signature' (release date $date)"
  zcat "$root/usr/share/man/man1/unitpeek-dump.1.gz" | grep -q "UnitPeek $version" || fail "manual page version"
  # What a software centre reads: metainfo, desktop entry and icon together.
  if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
  fi

  # The programs run from the scratch root with the system's libraries.
  if ldd "$root/usr/bin/unitpeek" "$root/usr/bin/unitpeek-dump" | grep 'not found'; then fail "unresolved libraries"; fi
  got=$("$root/usr/bin/unitpeek-dump" --version)
  [ "$got" = "unitpeek-dump $version" ] || fail "--version printed '$got'"
  for args in "" "--json" "--code"; do
    # shellcheck disable=SC2086
    "$root/usr/bin/unitpeek-dump" $args "$sample" >"$scratch/pkg.out" || fail "packaged unitpeek-dump $args failed"
    # shellcheck disable=SC2086
    "$dump" $args "$sample" >"$scratch/build.out"
    cmp -s "$scratch/pkg.out" "$scratch/build.out" || fail "packaged and built unitpeek-dump $args differ"
    [ -s "$scratch/pkg.out" ] || fail "no output for $sample"
  done
  # No mode of the command line loads Qt, the text summary included.
  for args in "" "--json"; do
    # shellcheck disable=SC2086
    if LD_DEBUG=libs "$root/usr/bin/unitpeek-dump" $args "$sample" 2>&1 >/dev/null | grep libQt6; then
      fail "packaged unitpeek-dump $args loads Qt"
    fi
  done
  echo "packaged unitpeek-dump $version reads $(basename "$sample") as the build does"
  ;;
lintian)
  need lintian
  build_deb "$1"
  # Every instance of a tag; -I: the informational tags too, shown but not
  # counted.
  report=$(lintian --tag-display-limit 0 -I "$deb" 2>&1) || true
  [ -z "$report" ] || echo "$report"
  errors=$(grep -c '^E: ' <<<"$report" || true)
  warnings=$(grep -c '^W: ' <<<"$report" || true)
  [ "$errors" -eq 0 ] || fail "lintian: $errors errors"
  echo "lintian: no errors, $warnings warnings"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
