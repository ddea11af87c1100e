#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format (the layout the code is
# written in); prints the files that do not and fails. A stage of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/apt-install.sh clang-format git
mapfile -t files < <(git ls-files '*.cpp' '*.h')
bad=()
for file in "${files[@]}"; do
  clang-format --style=file --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "not laid out as .clang-format says (clang-format -i <file> fixes it):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files laid out as .clang-format says"
