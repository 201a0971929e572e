#!/usr/bin/env bash
# Cost of `diroze DATA -numbers -pdf:OUT` for 10,000 and 100,000 labels
# (EAN-13 with two text lines, code page 852; 250 and 2,500 A4 sheets), run
# with an empty configuration. Prints per job: wall time and peak resident
# memory (best of RUNS runs, with its processor time: user plus system,
# less disturbed than wall time on a busy machine), PDF size per page, and for the 10,000-label job
# the bytes of uncompressed content stream per page.
#
#   bench/diroze/pdf-sheets.sh [build-dir] [runs]
#
# Needs /usr/bin/time (package time), qpdf and poppler-utils.
set -euo pipefail
build=${1:-build}
runs=${2:-3}
diroze="$build/diroze/diroze"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config"

make_data() { # COUNT FILE
  python3 "$(dirname "$0")/sheet-data.py" "$1" "$2"
}


for count in 10000 100000; do
  make_data "$count" "$work/data.txt"
  best=""
  for run in $(seq "$runs"); do
    XDG_CONFIG_HOME="$work/config" /usr/bin/time -f "%e %M %U %S" -o "$work/time" \
      "$diroze" "$work/data.txt" -numbers -pdf:"$work/out.pdf"
    read -r seconds kib user system < "$work/time"
    cpu=$(awk "BEGIN{printf \"%.2f\", $user + $system}")
    echo "$count labels, run $run: ${seconds} s, ${cpu} s processor, peak ${kib} KiB"
    if [[ -z $best ]] || awk "BEGIN{exit !($seconds < ${best%% *})}"; then best="$seconds $kib $cpu"; fi
  done
  pages=$(pdfinfo "$work/out.pdf" | awk '/^Pages:/{print $2}')
  size=$(stat -c %s "$work/out.pdf")
  read -r seconds kib cpu <<< "$best"
  echo "$count labels: ${seconds} s wall (${cpu} s processor), peak $((kib / 1024)) MiB resident, ${pages} pages," \
    "$((size / 1024)) KiB PDF, $((size / pages)) B per page"
  if [[ $count == 10000 ]]; then
    echo "$count labels: $(python3 "$(dirname "$0")/content-per-page.py" "$work/out.pdf")"
  fi
done
