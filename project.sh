#!/usr/bin/env bash
# One entry point for people and CI.
#   ./project.sh run      installs what building and running needs (scripts/setup.sh run),
#                         builds the two programs (no tests, no benchmarks), runs diroze on
#                         the bundled example
#   ./project.sh package  the same build, then the Debian packages
#                         build/diroze_<version>_<arch>.deb and build/emlsend_<version>_<arch>.deb
#   ./project.sh test     installs the test tools and services as well (scripts/setup.sh test),
#                         checks the formatting, builds with warnings as
#                         errors, runs every test (then every test program once more as one
#                         process), runs every fuzz target for a short smoke time
#                         (FUZZ_SMOKE_SECONDS each, default 20), then runs all tests again under
#                         AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer;
#                         CTest's summary closes the run
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-run}" in
  run)
    scripts/setup.sh run
    cmake --preset programs >/dev/null
    cmake --build --preset programs -j "$jobs"
    scripts/demo.sh build
    ;;
  package)
    scripts/setup.sh run
    cmake --preset programs >/dev/null
    cmake --build --preset programs -j "$jobs"
    (cd build && cpack -G DEB)
    ;;
  test)
    scripts/setup.sh test
    scripts/check-format.sh
    scripts/start-services.sh
    cmake --preset ci >/dev/null
    cmake --build --preset ci -j "$jobs"
    ctest --preset ci -j "$jobs"
    # Each test program once more as one whole process: order and leftovers show.
    scripts/run-test-programs.sh build-ci
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs"
    # A fixed seed: the smoke run mutates the same way every time.
    FUZZ_FLAGS="${FUZZ_FLAGS:--seed=1}" fuzz/run.sh build-fuzz "${FUZZ_SMOKE_SECONDS:-20}"
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan -j "$jobs"
    ;;
  *)
    echo "usage: $0 [run|package|test]" >&2
    exit 2
    ;;
esac
