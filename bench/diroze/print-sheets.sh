#!/usr/bin/env bash
# Cost of `diroze DATA -numbers -print` for 10,000 labels (EAN-13 with two
# text lines, 250 A4 sheets) on a CUPS queue: the wall time until the
# scheduler has accepted the job (diroze exits once it has handed the job
# over), the peak resident memory, and the size of what was sent (the job's
# spool file) with its bytes of content stream per page.
#
#   bench/diroze/print-sheets.sh [build-dir] [runs]
#
# The jobs go to the queue "diroze-bench", made here for the run (as root)
# with the device and driver of the test queue "diroze-pdf" but stopped: it
# accepts jobs and keeps them unprinted, so the spool file can be measured;
# each job is cancelled afterwards, and the queue removed at the end. Needs a running scheduler
# (scripts/start-services.sh), /usr/bin/time, qpdf and poppler-utils.
set -euo pipefail
build=${1:-build}
runs=${2:-3}
queue=diroze-bench
diroze="$build/diroze/diroze"
here=$(dirname "$0")
work=$(mktemp -d)
made=""
trap 'rm -rf "$work"; [[ -z $made ]] || lpadmin -x "$queue"' EXIT

if ! lpstat -v "$queue" >/dev/null 2>&1; then
  lpadmin -p "$queue" -v cups-pdf:/diroze -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -E 2>/dev/null
  made=yes
fi
cupsdisable -r "benchmark: jobs are kept and measured" "$queue"
cupsaccept "$queue"

mkdir -p "$work/config/diroze"
printf '[Printer]\nName=%s\n' "$queue" > "$work/config/diroze/printer.ini"
python3 "$here/sheet-data.py" 10000 "$work/data.txt"

newest_job() { lpstat -o "$queue" | awk '{print $1}' | sed "s/^$queue-//" | sort -n | tail -1; }

best=""
for run in $(seq "$runs"); do
  XDG_CONFIG_HOME="$work/config" /usr/bin/time -f "%e %M %U %S" -o "$work/time" \
    "$diroze" "$work/data.txt" -numbers -print
  read -r seconds kib user system < "$work/time"
  job=$(newest_job)
  spool=$(printf '/var/spool/cups/d%05d-001' "$job")
  bytes=$(stat -c %s "$spool")
  cp "$spool" "$work/sent.pdf"
  listed=$(lpstat -o "$queue" | awk -v j="$queue-$job" '$1 == j {print $3}')
  cancel "$queue-$job"
  cpu=$(awk "BEGIN{printf \"%.2f\", $user + $system}")
  echo "run $run: ${seconds} s to accepted, ${cpu} s processor, peak ${kib} KiB, job $job: ${bytes} B sent" \
    "(lpstat lists ${listed} B)"
  if [[ -z $best ]] || awk "BEGIN{exit !($seconds < ${best%% *})}"; then best="$seconds $kib $cpu $bytes"; fi
done
read -r seconds kib cpu bytes <<< "$best"
pages=$(pdfinfo "$work/sent.pdf" | awk '/^Pages:/{print $2}')
echo "10000 labels printed: ${seconds} s to accepted (${cpu} s processor), peak $((kib / 1024)) MiB resident," \
  "${pages} pages, $((bytes / 1024)) KiB sent, $((bytes / pages)) B per page"
echo "10000 labels printed: $(python3 "$(dirname "$0")/content-per-page.py" "$work/sent.pdf")"
