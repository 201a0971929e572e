#!/usr/bin/env bash
# Installs the Debian packages a level of work needs, when missing.
#   scripts/setup.sh run    building and running the two programs and making their packages
#   scripts/setup.sh test   that, and the test tools and services (compilers for the
#                           sanitizers and fuzzing, GoogleTest, the test peers, CUPS)
# Uses sudo when not run as root. Safe to run again: does nothing when all is there.
# To add a package, put it in the array of the level that needs it.
set -euo pipefail

run_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libcups2-dev
  libssl-dev ca-certificates
  libidn2-dev
  libzint-dev
  fonts-liberation fonts-dejavu-core qt6-translations-l10n xdg-utils
  glabels-data
  dpkg-dev file
)

test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format-14
  python3 python3-aiosmtpd openssl zbar-tools python3-zxing-cpp python3-numpy poppler-utils time qpdf
  cups cups-client cups-bsd printer-driver-cups-pdf printer-driver-ptouch
  man-db lintian debootstrap git
  locales
)

level=${1:-test}
case "$level" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

# The tests read the system's messages in Czech too, as a Czech desktop has them.
make_czech_locale() {
  [[ $level == test ]] || return 0
  locale -a 2>/dev/null | grep -qix 'cs_CZ.utf8' && return 0
  "${sudo_cmd[@]}" localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8
}

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  make_czech_locale
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "setup.sh: these Debian packages are missing: ${missing[*]}; run this as root or install sudo" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_czech_locale
