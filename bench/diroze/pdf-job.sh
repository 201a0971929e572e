#!/usr/bin/env bash
# Wall time and peak memory of `diroze DATA -pdf:OUT` for 10,000 labels
# (250 A4 sheets of EAN-13 labels with two text lines), best of three runs.
#
#   bench/diroze/pdf-job.sh [build-dir]
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/data.txt" <<'PY'
import sys
def ean(d):
    s = sum(int(c) * (3 if i % 2 else 1) for i, c in enumerate(d))
    return d + str((10 - s % 10) % 10)
with open(sys.argv[1], "wb") as f:
    for i in range(10000):
        f.write(f"{ean('859%09d' % i)};Šroubek M6 × 20 č. {i};balení {i % 500} ks\r\n".encode("cp852"))
PY

best=""
for run in 1 2 3; do
  /usr/bin/time -f "%e %M" -o "$work/time" "$build/diroze/diroze" "$work/data.txt" -numbers -pdf:"$work/out.pdf"
  read -r seconds kib < "$work/time"
  echo "run $run: ${seconds} s, peak ${kib} KiB"
  if [[ -z $best ]] || awk "BEGIN{exit !($seconds < ${best%% *})}"; then best="$seconds $kib"; fi
done
pages=$(pdfinfo "$work/out.pdf" | awk '/^Pages:/{print $2}')
size=$(stat -c %s "$work/out.pdf")
read -r seconds kib <<< "$best"
echo "best: ${seconds} s wall, peak $((kib / 1024)) MiB resident, ${pages} pages, $((size / 1024)) KiB PDF"
