#!/usr/bin/env bash
# Runs the label printer on the bundled example data file: lists its labels,
# then renders every sheet into a PDF file.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
"$build/diroze/diroze" examples/stitky.txt -numbers -check
"$build/diroze/diroze" examples/stitky.txt -numbers -pdf:"$build/stitky.pdf"
echo "Sheets written to $build/stitky.pdf"
