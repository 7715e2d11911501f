#!/usr/bin/env bash
# Checks that every C and C++ source keeps the layout of .clang-format.
# Build folders and generated files are left out. Prints the offending
# lines and fails when a file would change under clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT="${CLANG_FORMAT:-clang-format}"
find . \( -path './build*' -o -path './.git' \) -prune -o -type f \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \) -print0 |
  grep -zvE '^\./timestretch/PolyphaseTables\.cpp$' |
  sort -z |
  xargs -0 "$CLANG_FORMAT" --dry-run -Werror
