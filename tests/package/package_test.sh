#!/usr/bin/env bash
# The Debian package end to end: made with cpack from the build tree,
# installed into this machine with dpkg, both programs run from PATH, and
# removed again without leaving anything behind.
#
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
#
# Needs root for dpkg; exits 77 (skipped, with the reason) where it cannot run.
set -euo pipefail

build=$1 source=$2 version=$3
package=hostutils

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || skip "installing the package with dpkg -i needs root (CI runs the suite as root)"
for tool in cpack dpkg dpkg-deb dpkg-shlibdeps man pdfinfo pdftotext flock /usr/bin/python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh installs it)"
done

# One package test at a time on this machine.
lockdir=/run/lock
[[ -d $lockdir ]] || lockdir=/tmp
exec 9>"$lockdir/hostutils-package-test.lock"
flock -w 900 9 || fail "another package test holds $lockdir/hostutils-package-test.lock"

if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
  skip "the package $package is installed on this machine already; the test leaves it alone"
fi

work=$(mktemp -d)
installed=false
smtp_pid=
cleanup() {
  if $installed; then dpkg --purge "$package" >/dev/null 2>&1 || true; fi
  if [[ -n $smtp_pid ]]; then kill "$smtp_pid" 2>/dev/null || true; wait "$smtp_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- the package -------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB"
fi
deb=("$work"/pkg/*.deb)
[[ ${#deb[@]} -eq 1 && -f ${deb[0]} ]] || fail "cpack made no single .deb: ${deb[*]}"
deb=${deb[0]}
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $depends"
for needed in libc6 libqt6widgets6 libqt6printsupport6 libcups2 libstdc++6 libssl3 fonts-liberation xdg-utils ca-certificates; do
  grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *glabels-data* ]] || fail "Recommends lacks glabels-data"

# --- install; dpkg waits for no lock, so try again while apt holds it ---------
for _ in $(seq 1 60); do
  if out=$(dpkg -i "$deb" 2>&1); then
    installed=true
    break
  fi
  if grep -qi 'lock' <<<"$out" && ! grep -qi 'dependency problems' <<<"$out"; then
    sleep 2
    continue
  fi
  installed=true # half-installed: the clean-up purges it
  echo "$out"
  fail "dpkg -i"
done
$installed || fail "dpkg stayed locked"

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
mapfile -t files < <(dpkg -L "$package")
dpkg --purge "$package" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
installed=false
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
  fail "the package is still installed"
fi
for f in "${files[@]}"; do
  if [[ -e $f || -L $f ]] && [[ ! -d $f ]]; then fail "left behind: $f"; fi
done
for d in /usr/share/diroze /usr/share/doc/$package; do
  [[ ! -e $d ]] || fail "left behind: $d"
done
echo "installed, ran diroze and emlsend from PATH, removed without a trace"
