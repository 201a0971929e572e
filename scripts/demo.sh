#!/usr/bin/env bash
# Runs the label printer on the bundled example data file: the dialog when a
# display is there, else the check and a PDF of every sheet.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  exec "$build/diroze/diroze" examples/stitky.txt -numbers
fi
echo "No display: listing the example and writing its sheets to a PDF instead of opening the dialog."
"$build/diroze/diroze" examples/stitky.txt -numbers -check
"$build/diroze/diroze" examples/stitky.txt -numbers -pdf:"$build/stitky.pdf"
echo "Sheets written to $build/stitky.pdf"
