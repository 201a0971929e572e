#!/usr/bin/env bash
# Runs every test program of a build as one whole process, ROUNDS times in a
# row (default 1), besides CTest's one-test-a-process runs: a test that leaves
# the environment or files changed, or depends on another's order, fails here.
#   scripts/run-test-programs.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-1}
mapfile -t programs < <(find "$build/tests" -type f -executable \( -name 'test_*' -o -name '*_tests' \) | sort)
if ((${#programs[@]} == 0)); then
  echo "run-test-programs: no test programs under $build/tests" >&2
  exit 1
fi
passed=0 failed=0
for ((round = 1; round <= rounds; round++)); do
  for program in "${programs[@]}"; do
    log=$(mktemp)
    if (cd "$(dirname "$program")" && QT_QPA_PLATFORM=offscreen timeout 1200 "$program" >"$log" 2>&1); then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "run-test-programs: $(basename "$program") failed in round $round:" >&2
      grep -E '^\[  FAILED  \]|Failure' "$log" | head -40 >&2 || tail -40 "$log" >&2
    fi
    rm -f "$log"
  done
done
echo "run-test-programs: $passed of $((passed + failed)) whole runs passed"
((failed == 0))
