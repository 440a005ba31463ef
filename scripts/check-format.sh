#!/usr/bin/env bash
# Checks that every tracked C and C++ file is laid out as .clang-format says; lists the
# files that are not and exits 1. `scripts/check-format.sh --fix` reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
[ ${#files[@]} -gt 0 ] || exit 0
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" > /dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (scripts/check-format.sh --fix reformats them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "Format: all ${#files[@]} C/C++ files follow .clang-format"
