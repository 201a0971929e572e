#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for a given number of seconds
# each, one after the other, at the lowest CPU priority.
#
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
#
# BUILD_DIR is a build configured with -DHOSTUTILS_FUZZ=ON and clang; the
# targets are built there first (one job). Each target starts from its seed
# corpus in fuzz/corpus/<target>/ and keeps what it learns in
# BUILD_DIR/fuzz-work/<target>/corpus (the seeds in the source tree are never
# written). A failing input is saved as BUILD_DIR/fuzz-work/<target>/crash-*.
# Prints one summary line per target; exits 1 when any target failed.
# FUZZ_FLAGS adds libFuzzer options to every run.
set -uo pipefail

if (($# < 2)); then
  echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

targets=("$@")
if ((${#targets[@]} == 0)); then
  for dir in "$here"/corpus/*/; do
    name=$(basename "$dir")
    [[ -x $build/fuzz/fuzz_$name ]] && targets+=("$name")
  done
fi

cmake --build "$build" --target fuzz_all -j1 >/dev/null || exit 1

status=0
for name in "${targets[@]}"; do
  binary=$build/fuzz/fuzz_$name
  work=$build/fuzz-work/$name
  mkdir -p "$work/corpus"
  log=$work/last.log
  # Qt must not look for a display; LeakSanitizer checks every input. The
  # time-out per input is generous: at the lowest priority on a busy machine a
  # run can stall for seconds.
  QT_QPA_PLATFORM=offscreen nice -n 19 "$binary" \
    -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" ${FUZZ_FLAGS:-} \
    "$work/corpus" "$here/corpus/$name" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  crashes=$(find "$work" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' -o -maxdepth 1 -name 'oom-*' | wc -l)
  corpus=$(find "$work/corpus" -type f | wc -l)
  if ((rc != 0)); then
    status=1
    echo "$name: FAILED after ${runs:-?} executions (exit $rc); see $log"
    grep -m3 -E 'ERROR|fuzz check failed|runtime error|SUMMARY' "$log" | sed 's/^/  /'
  else
    echo "$name: ok, ${runs:-?} executions in ${seconds} s, corpus $corpus inputs, saved failures $crashes"
  fi
done
exit $status
