#!/usr/bin/env bash
# Checks that every source file below the given folders opens with a comment
# that says what the file holds: C++ files with // or /*, CMake and shell
# files with # (after a #! line), Python files with # or a docstring. Lists the files without one and
# fails when there is any; run from the root of the checkout (ctest runs it
# as the test source_comments).
#
#   scripts/check_comments.sh FOLDER...
set -euo pipefail

missing=0
checked=0
while IFS= read -r -d '' f; do
  case $f in
    *.cpp|*.h) opener='^(//|/\*)' ;;
    *.py) opener='^(#|""")' ;;
    *) opener='^#' ;;
  esac
  first=$(grep -v -m1 '^#!' "$f" || true)
  checked=$((checked + 1))
  if ! grep -qE "$opener" <<<"$first"; then
    echo "no opening comment: $f"
    missing=$((missing + 1))
  fi
done < <(find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name CMakeLists.txt -o -name '*.cmake' \
                              -o -name '*.sh' -o -name '*.py' \) -print0 | sort -z)

echo "$checked files checked, $missing without an opening comment"
[ "$missing" -eq 0 ]
