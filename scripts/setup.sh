#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Uses sudo when not run as root. Safe to run again: does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xdg-utils
  dpkg-dev man-db
  python3 python3-aiosmtpd zbar-tools poppler-utils time qpdf
  libssl-dev libidn2-dev openssl ca-certificates
  clang-14 libclang-rt-14-dev clang-format-14
  libcups2-dev cups cups-client cups-bsd printer-driver-cups-pdf
  qt6-translations-l10n
  glabels-data
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
