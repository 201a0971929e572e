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
  if ! timeout 5 lpstat -v diroze-thermal203 >/dev/null 2>&1; then
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
}

start_cups

exit 0
