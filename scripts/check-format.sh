#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the tree is not formatted as
# .clang-format says. To mend: clang-format-14 -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find common diroze emlsend tests bench fuzz -name '*.cpp' -o -name '*.h')
fi
clang-format-14 --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted as .clang-format says"
