#!/usr/bin/env bash
# The two Debian packages end to end: made with cpack from the build tree,
# checked by lintian, installed into this machine as `apt install ./x.deb`
# does (dependencies from the archive or what is installed), both programs
# run from PATH, and removed again without leaving anything behind.
#
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
#
# Needs root for apt; exits 77 (skipped, with the reason) where it cannot run.
set -euo pipefail

build=$1 source=$2 version=$3
packages=(diroze emlsend)

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || skip "installing the packages with apt needs root (CI runs the suite as root)"
for tool in cpack apt-get apt-cache dpkg dpkg-deb dpkg-shlibdeps lintian man pdfinfo pdftotext flock /usr/bin/python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh test installs it)"
done

# One package test at a time on this machine.
lockdir=/run/lock
[[ -d $lockdir ]] || lockdir=/tmp
exec 9>"$lockdir/hostutils-package-test.lock"
flock -w 900 9 || fail "another package test holds $lockdir/hostutils-package-test.lock"

for package in "${packages[@]}" hostutils; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
    skip "the package $package is installed on this machine already; the test leaves it alone"
  fi
done

work=$(mktemp -d)
installed=false
smtp_pid=
cleanup() {
  if $installed; then dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true; fi
  if [[ -n $smtp_pid ]]; then kill "$smtp_pid" 2>/dev/null || true; wait "$smtp_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- the packages --------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB"
fi
arch=$(dpkg --print-architecture)
declare -A deb
for package in "${packages[@]}"; do
  deb[$package]=$work/pkg/${package}_${version}_$arch.deb
  [[ -f ${deb[$package]} ]] || fail "cpack made no ${package}_${version}_$arch.deb: $(ls "$work/pkg")"
  echo "package: $(basename "${deb[$package]}"), $(stat -c %s "${deb[$package]}") bytes"
  echo "  Depends: $(dpkg-deb -f "${deb[$package]}" Depends)"
  echo "  Recommends: $(dpkg-deb -f "${deb[$package]}" Recommends)"
  echo "  Suggests: $(dpkg-deb -f "${deb[$package]}" Suggests)"
done
[[ $(find "$work/pkg" -maxdepth 1 -name '*.deb' | wc -l) -eq 2 ]] || fail "cpack made other packages: $(ls "$work/pkg")"

# Each package holds its own program, manual page and documents, nothing of the other's.
contents() { dpkg-deb -c "${deb[$1]}" | awk '{ print $6 }' | sed 's|^\./|/|'; }
expect_files() { # PACKAGE FILE...
  local package=$1 listing
  shift
  listing=$(contents "$package")
  for f in "$@"; do grep -qx "$f" <<<"$listing" || fail "$package lacks $f"; done
}
for package in "${packages[@]}"; do
  expect_files "$package" "/usr/bin/$package" "/usr/share/man/man1/$package.1.gz" \
    "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz" "/usr/share/doc/$package/README.md"
done
expect_files diroze /usr/share/diroze/diroze.xml
if contents diroze | grep -q emlsend; then fail "diroze holds emlsend's files: $(contents diroze | grep emlsend)"; fi
if contents emlsend | grep -q diroze; then fail "emlsend holds diroze's files: $(contents emlsend | grep diroze)"; fi

depends_of() { dpkg-deb -f "${deb[$1]}" Depends; }
for needed in libc6 libqt6widgets6 libqt6printsupport6 libcups2 libzint2.11 libstdc++6 fonts-liberation fonts-dejavu-core; do
  grep -q "\b$needed\b" <<<"$(depends_of diroze)" || fail "diroze's Depends lacks $needed"
done
for needed in libc6 libstdc++6 libssl3 ca-certificates; do
  grep -q "\b$needed\b" <<<"$(depends_of emlsend)" || fail "emlsend's Depends lacks $needed"
done
for wanted in qt6-translations-l10n glabels-data; do
  grep -q "\b$wanted\b" <<<"$(dpkg-deb -f "${deb[diroze]}" Recommends)" || fail "diroze does not recommend $wanted"
done
grep -q '\bxdg-utils\b' <<<"$(dpkg-deb -f "${deb[emlsend]}" Suggests)" || fail "emlsend does not suggest xdg-utils"

# A mail server needs no Qt, X or printing library for emlsend: nothing that
# `apt install ./emlsend_….deb` may bring, its dependencies and recommendations
# all the way down, is one.
mapfile -t direct < <(dpkg-deb -f "${deb[emlsend]}" Depends Recommends | sed 's/^[A-Za-z-]*: //' | tr ',|' '\n\n' |
  sed 's/(.*)//; s/:.*//; s/ //g' | sed '/^$/d')
mapfile -t chain < <(apt-cache depends --recurse --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances "${direct[@]}" | grep -v '^ ' | sed 's/^<\(.*\)>$/\1/' | sort -u)
((${#chain[@]} > ${#direct[@]})) || fail "apt-cache found no dependency chain for: ${direct[*]}"
graphical=$(printf '%s\n' "${chain[@]}" | grep -E '^(libqt|qt6-|qt5-|libx11|libxcb|libxext|libxrender|libxau|libxdmcp|libgl1|libglx|libgles|libglapi|libglvnd|libegl|libwayland|libdrm|libcups|x11-|xserver-)' || true)
[[ -z $graphical ]] || fail "emlsend's dependencies pull in: $(tr '\n' ' ' <<<"$graphical")"

# --- lintian: no error and no warning --------------------------------------------
for package in "${packages[@]}"; do
  # Informational and pedantic tags are shown, but only errors and warnings fail.
  if ! lintian --fail-on error,warning --display-info --pedantic "${deb[$package]}" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    fail "lintian on $package"
  fi
  echo "lintian $package: $(if [[ -s $work/lintian.log ]]; then echo; sed 's/^/  /' "$work/lintian.log"; else echo no tags; fi)"
done

# --- install as `apt install ./x.deb` does; apt waits for its lock ------------------
installed=true # whatever got in, the clean-up purges
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=300 \
  "${deb[diroze]}" "${deb[emlsend]}" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  fail "apt-get install ./diroze… ./emlsend…"
fi

# --- the installed programs, from PATH -----------------------------------------
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
[[ $(command -v diroze) == /usr/bin/diroze ]] || fail "diroze on PATH is $(command -v diroze)"
[[ $(command -v emlsend) == /usr/bin/emlsend ]] || fail "emlsend on PATH is $(command -v emlsend)"
[[ $(diroze --version) == "diroze $version" ]] || fail "diroze --version: $(diroze --version)"
[[ $(emlsend --version) == "emlsend $version" ]] || fail "emlsend --version: $(emlsend --version)"

mkdir -p "$work/home"
user_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME -u QT_QPA_PLATFORM HOME="$work/home")
check=$("${user_env[@]}" diroze "$source/examples/stitky.txt" -numbers -check)
expected="Soubor předvoleb: $work/home/.config/diroze/diroze.xml (zatím neexistuje, předvolby se čtou z /usr/share/diroze/diroze.xml)"
[[ $(sed -n 1p <<<"$check") == "$expected" ]] || fail "diroze -check said: $(sed -n 1p <<<"$check")"
grep -q '^Soubor tiskárny: .*/etc/diroze/printer.ini' <<<"$check" || fail "diroze -check said: $(sed -n 2p <<<"$check")"
grep -q '^Štítků: 16$' <<<"$check" || fail "diroze -check did not list the example"

"${user_env[@]}" diroze "$source/examples/stitky.txt" -numbers -pdf:"$work/stitky.pdf" || fail "diroze -pdf"
info=$(pdfinfo "$work/stitky.pdf")
grep -Eq '^Pages: +1$' <<<"$info" && grep -q '(A4)' <<<"$info" || fail "the PDF is not one A4 page: $info"
pdftotext "$work/stitky.pdf" - | grep -q 'Šroubek M6 × 20' || fail "the PDF lacks the example's text"
[[ ! -e $work/home/.config ]] || fail "a run without saving wrote into the user's folder"

mkdir -p "$work/mail"
/usr/bin/python3 "$source/tests/emlsend/smtp_server.py" "$work/mail" 120 >"$work/smtp.out" 2>"$work/smtp.err" &
smtp_pid=$!
for _ in $(seq 1 100); do
  [[ -s $work/smtp.out ]] && break
  sleep 0.1
done
port=$(head -n 1 "$work/smtp.out")
[[ $port =~ ^[0-9]+$ ]] || fail "aiosmtpd did not start: $(cat "$work/smtp.err")"
printf '[SMTP]\r\nHost=127.0.0.1:%s\r\n[SUBJECT]\r\nZ bal\xedku\r\n[FROM]\r\nsklad@example.cz\r\n[TO]\r\nprijem@example.cz\r\n[BODY]\r\nPosl\xe1no nainstalovan\xfdm programem.\r\n' \
  "$port" >"$work/zprava.txt"
(cd "$work" && emlsend "$work/zprava.txt" >/dev/null) || fail "emlsend ended with $?"
for _ in $(seq 1 100); do
  [[ -e $work/mail/1.done ]] && break
  sleep 0.1
done
[[ -e $work/mail/1.done ]] || fail "aiosmtpd received nothing"
grep -q 'prijem@example.cz' "$work/mail/1.rcpt" || fail "wrong recipient: $(cat "$work/mail/1.rcpt")"
[[ ! -e $work/zprava.txt ]] || fail "emlsend kept the control file"
[[ ! -e $work/eml456.txt ]] || fail "emlsend reported a failure: $(cat "$work/eml456.txt")"

[[ $(man -w diroze) == /usr/share/man/man1/diroze.1.gz ]] || fail "man -w diroze: $(man -w diroze 2>&1)"
[[ $(man -w emlsend) == /usr/share/man/man1/emlsend.1.gz ]] || fail "man -w emlsend: $(man -w emlsend 2>&1)"

# --- removal leaves nothing behind ----------------------------------------------
files=()
for package in "${packages[@]}"; do
  mapfile -t -O "${#files[@]}" files < <(dpkg -L "$package")
done
dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
installed=false
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
    fail "the package $package is still installed"
  fi
done
for f in "${files[@]}"; do
  if [[ -e $f || -L $f ]] && [[ ! -d $f ]]; then fail "left behind: $f"; fi
done
for d in /usr/share/diroze /usr/share/doc/diroze /usr/share/doc/emlsend; do
  [[ ! -e $d ]] || fail "left behind: $d"
done
echo "installed, ran diroze and emlsend from PATH, removed without a trace"
