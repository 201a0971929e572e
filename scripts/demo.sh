#!/usr/bin/env bash
# Runs the label printer on the bundled example data file.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
"$build/diroze/diroze" examples/stitky.txt -numbers -check
