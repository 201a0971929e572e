#!/usr/bin/env bash
# Starts the system services the tests talk to, when they are not running yet.
# Tests that need a service which could not be started skip with a reason
# (under CI=true they fail).
# Safe to run again: what already runs or exists is left as it is.
set -euo pipefail

# Services are the system's: start them as root, through sudo as setup.sh does.
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    exec sudo -- "$0" "$@"
  fi
  echo "start-services: not root and no sudo; nothing started (tests that need a service skip, and fail under CI=true)"
  exit 0
fi

# --- CUPS: a scheduler with PDF printers for the printing tests -------------
# diroze-pdf        prints through cups-pdf into /var/spool/cups-pdf-diroze/$USER
#                   (the queue's own cups-pdf-diroze.conf, so the system's
#                   cups-pdf settings and ~/PDF stay untouched)
# diroze-rejecting  the same device, but it refuses every job
# diroze-thermal203 the same device with a PPD whose default resolution is
#                   203 dpi, as thermal label printers have
start_cups() {
  if ! command -v cupsd >/dev/null || [[ ! -x /usr/lib/cups/backend/cups-pdf ]]; then
    echo "start-services: cups or printer-driver-cups-pdf is not installed (the printing tests will skip)"
    return 0
  fi

  cat >/etc/cups/cups-pdf-diroze.conf <<'EOF'
# Written by diroze's scripts/start-services.sh for its printing tests.
Out /var/spool/cups-pdf-diroze/${USER}
Grp lpadmin
Label 2
EOF
  mkdir -p /var/spool/cups-pdf-diroze
  chmod 0755 /var/spool/cups-pdf-diroze

  if ! timeout 5 lpstat -r 2>/dev/null | grep -q 'is running'; then
    # cupsd detaches by itself once it listens; its idle exit applies only
    # when it is started on demand, which this is not.
    timeout 20 cupsd || true
    for _ in $(seq 1 50); do
      timeout 5 lpstat -r 2>/dev/null | grep -q 'is running' && break
      sleep 0.2
    done
  fi
  if ! timeout 5 lpstat -r 2>/dev/null | grep -q 'is running'; then
    echo "start-services: the CUPS scheduler did not start (the printing tests will skip)"
    return 0
  fi

  local ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  if ! timeout 5 lpstat -v diroze-pdf >/dev/null 2>&1; then
    timeout 20 lpadmin -p diroze-pdf -v cups-pdf:/diroze -P "$ppd" -E 2>/dev/null
  fi
  if ! timeout 5 lpstat -v diroze-rejecting >/dev/null 2>&1; then
    timeout 20 lpadmin -p diroze-rejecting -v cups-pdf:/diroze -P "$ppd" -E 2>/dev/null
  fi
  # A driver package's install rewrites the PPDs of the queues that use its
  # drivers: the stand-in is made again when it no longer says 203 dpi.
  if ! timeout 5 lpstat -v diroze-thermal203 >/dev/null 2>&1 ||
    ! grep -qx '\*DefaultResolution: 203dpi' /etc/cups/ppd/diroze-thermal203.ppd 2>/dev/null; then
    timeout 20 lpadmin -x diroze-thermal203 2>/dev/null || true
    local ppd203=/etc/cups/diroze-thermal203.ppd
    sed -e 's/^\*DefaultResolution: .*/*DefaultResolution: 203dpi/' \
        -e 's|^\*Resolution 300dpi/300 DPI:.*|*Resolution 203dpi/203 DPI: "<</HWResolution[203 203]>>setpagedevice"\n&|' \
        "$ppd" >"$ppd203"
    timeout 20 lpadmin -p diroze-thermal203 -v cups-pdf:/diroze -P "$ppd203" -E 2>/dev/null
  fi
  timeout 20 cupsenable diroze-pdf diroze-rejecting diroze-thermal203
  timeout 20 cupsaccept diroze-pdf diroze-thermal203
  timeout 20 cupsreject -r "closed for the printing tests" diroze-rejecting
  echo "start-services: CUPS runs with the queues diroze-pdf, diroze-rejecting and diroze-thermal203"
  start_driver_queues
}

# --- Label printer drivers: queues whose jobs a raw socket keeps ------------
# Each queue prints through a real CUPS driver to socket://127.0.0.1:PORT,
# where tests/diroze/raw_sink.py writes every job's bytes into
# /var/spool/diroze-sink/QUEUE/job-<n>.bin for tests/diroze/driver_raster.py.
# Fields: queue|port|driver|the PPD's nickname|default resolution (- none).
driver_queues=(
  "diroze-zpl203|9101|drv:///sample.drv/zebra.ppd|Zebra ZPL Label Printer|203dpi"
  "diroze-zpl300|9102|drv:///sample.drv/zebra.ppd|Zebra ZPL Label Printer|300dpi"
  "diroze-dymo|9103|drv:///sample.drv/dymo.ppd|DYMO Label Printer|300dpi"
  "diroze-ql570|9104|ptouch:0/ppd/ptouch-driver/Brother-QL-570-ptouch-ql.ppd|Brother QL-570 Foomatic/ptouch-ql (recommended)|-"
)
sink_spool=/var/spool/diroze-sink
sink_pidfile=/run/diroze-sink.pid

# A queue is made again when its device, driver or default resolution is not
# what the tests expect: installing a driver package rewrites the PPDs of the
# queues that use it, and with them their defaults.
ensure_driver_queue() {
  local queue=$1 port=$2 model=$3 nickname=$4 resolution=$5
  local ppd=/etc/cups/ppd/$queue.ppd device=socket://127.0.0.1:$port
  if timeout 5 lpstat -v "$queue" 2>/dev/null | grep -q " $device\$" &&
    [[ $(sed -n 's/^\*NickName:[[:space:]]*//p' "$ppd" 2>/dev/null) == "\"$nickname\"" ]] &&
    { [[ $resolution == - ]] || grep -qx "\*DefaultResolution: $resolution" "$ppd"; }; then
    return 0
  fi
  timeout 20 lpadmin -x "$queue" 2>/dev/null || true
  local options=()
  [[ $resolution == - ]] || options=(-o "Resolution=$resolution")
  timeout 20 lpadmin -p "$queue" -v "$device" -m "$model" "${options[@]}" -E 2>/dev/null
}

start_driver_queues() {
  local entry queue port model nickname resolution models ports=()
  models=$(timeout 30 lpinfo -m 2>/dev/null || true)
  for entry in "${driver_queues[@]}"; do
    IFS='|' read -r queue port model nickname resolution <<<"$entry"
    if ! grep -qF "$model " <<<"$models"; then
      echo "start-services: no driver $model (the tests of $queue will skip)"
      continue
    fi
    ensure_driver_queue "$queue" "$port" "$model" "$nickname" "$resolution"
    timeout 20 cupsenable "$queue"
    timeout 20 cupsaccept "$queue"
    ports+=("$queue=$port")
  done
  ((${#ports[@]})) || return 0

  local pid
  pid=$(cat "$sink_pidfile" 2>/dev/null || true)
  if [[ -z $pid ]] || ! grep -qa raw_sink.py "/proc/$pid/cmdline" 2>/dev/null; then
    mkdir -p "$sink_spool"
    chmod 0755 "$sink_spool"
    setsid nohup /usr/bin/python3 "$(realpath "$(dirname "$0")/../tests/diroze/raw_sink.py")" \
      "$sink_spool" "${ports[@]}" >/var/log/diroze-sink.log 2>&1 </dev/null &
    echo $! >"$sink_pidfile"
  fi
  echo "start-services: driver queues ${ports[*]%%=*} print into $sink_spool"
}

start_cups

exit 0
