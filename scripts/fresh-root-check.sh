#!/usr/bin/env bash
# The README's two commands on a fresh Debian 12, as a new user runs them.
#
#   scripts/fresh-root-check.sh [WORKDIR]      (as root)
#
# Makes a minimal Debian 12 root with debootstrap (--variant=minbase) from the
# Debian archive this machine's apt uses, clones the committed HEAD of this
# checkout into /root/hostutils there and, as root inside it:
#   1. ./project.sh run                  with the archive reachable
#   2. scripts/setup.sh test             the packages `./project.sh test` installs first,
#                                        still with the archive reachable
#   3. ./project.sh test                 under `unshare --net` with only loopback up, so
#                                        its cupsd (port 631) and test servers never meet
#                                        this machine's
# and prints the time of each step. Anything the commands need and do not
# install fails here.
#
# WORKDIR (default /var/tmp/hostutils-fresh-root) keeps, between runs, the
# pristine debootstrap result (made again after a week or when the mirror
# changes) and the downloaded .deb files, so that runs on one machine do not
# fetch the same packages again; every run starts from a new copy of the
# pristine root, which is removed afterwards (FRESH_ROOT_KEEP=1 keeps it).
# A policy-rc.d in the root stops package scripts from starting services with
# this machine's network; start-services.sh starts cupsd inside the namespace.
set -euo pipefail

[[ $(id -u) -eq 0 ]] || {
  echo "fresh-root-check: needs root (debootstrap, chroot, mounts)" >&2
  exit 1
}
for tool in debootstrap git unshare chroot ip mount umount; do
  command -v "$tool" >/dev/null || {
    echo "fresh-root-check: $tool is missing (scripts/setup.sh test installs it)" >&2
    exit 1
  }
done

source_dir=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
head=$(git -C "$source_dir" rev-parse HEAD)
workdir=${1:-/var/tmp/hostutils-fresh-root}
suite=bookworm
mkdir -p "$workdir/debs"
exec 8>"$workdir/lock"
flock -w 3600 8 || {
  echo "fresh-root-check: another run holds $workdir/lock" >&2
  exit 1
}

# --- the archive apt uses: the Debian sources of this suite ----------------------
mapfile -t sources < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ORIGIN)' \
  'Identifier: Packages' | awk '$4 == "Debian" && $2 ~ /^bookworm/ && $3 == "main" { print $1, $2 }' | sort -u)
mirror=
for line in "${sources[@]}"; do
  read -r uri release <<<"$line"
  [[ $release == "$suite" ]] && mirror=$uri
done
[[ -n $mirror ]] || {
  echo "fresh-root-check: apt has no Debian source for $suite main" >&2
  exit 1
}

elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
declare -a report=()
step() { # NAME COMMAND...: runs and times one step
  local name=$1 start=$SECONDS status=0
  shift
  echo "=== fresh root: $name"
  "$@" || status=$?
  report+=("$(printf '%-28s %8s  exit %d' "$name" "$(elapsed $((SECONDS - start)))" "$status")")
  echo "=== fresh root: $name: $(elapsed $((SECONDS - start))), exit $status"
  return "$status"
}

# --- the pristine root ------------------------------------------------------------
base=$workdir/base
stamp="$suite minbase $mirror"
if [[ ! -f $base/.fresh-root-stamp || $(cat "$base/.fresh-root-stamp") != "$stamp" ]] ||
  [[ -n $(find "$base/.fresh-root-stamp" -mtime +7 2>/dev/null) ]]; then
  rm -rf "$base"
  step "debootstrap" debootstrap --variant=minbase --cache-dir="$workdir/debs" "$suite" "$base" "$mirror" \
    >"$workdir/debootstrap.log" 2>&1 || {
    tail -n 30 "$workdir/debootstrap.log"
    exit 1
  }
  echo "$stamp" >"$base/.fresh-root-stamp"
fi

root=$workdir/root
# Ends whatever still runs in the root (cupsd) and then takes down every mount under
# it, the newest first: this run's, or those a run killed before its own cleanup
# left behind (the lock says no other run owns them).
release_root() {
  local p i
  for p in /proc/[0-9]*; do
    if [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]]; then kill -TERM "${p#/proc/}" 2>/dev/null || true; fi
  done
  sleep 1
  for p in /proc/[0-9]*; do
    if [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]]; then kill -KILL "${p#/proc/}" 2>/dev/null || true; fi
  done
  local -a mounts
  mapfile -t mounts < <(awk -v prefix="$root/" 'index($2, prefix) == 1 { print $2 }' /proc/mounts)
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
}
cleanup() {
  local status=$?
  release_root
  if [[ -z ${FRESH_ROOT_KEEP:-} ]] && ! grep -q " $root/" /proc/mounts; then rm -rf "$root"; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if grep -q " $root/" /proc/mounts; then
  echo "fresh-root-check: taking down the mounts an interrupted run left in $root"
  release_root
  if grep -q " $root/" /proc/mounts; then
    echo "fresh-root-check: $root still has mounts that will not go; unmount them first" >&2
    exit 1
  fi
fi
rm -rf "$root"
step "copy of the pristine root" cp -a "$base" "$root"

# A fresh install's sources: the same archive with its updates and security suites.
: >"$root/etc/apt/sources.list"
for line in "${sources[@]}"; do
  read -r uri release <<<"$line"
  echo "deb $uri $release main" >>"$root/etc/apt/sources.list"
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
[[ -s $root/etc/hosts ]] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"

mount_in() { # SOURCE TARGET MOUNT-ARGS...
  local target=$root$2 source=$1
  shift 2
  mkdir -p "$target"
  mount "$@" "$source" "$target"
}
mount_in proc /proc -t proc
mount_in sysfs /sys -t sysfs
mount_in /dev /dev --bind
mount_in /dev/pts /dev/pts --bind
mount_in shm /dev/shm -t tmpfs -o mode=1777
mount_in "$workdir/debs" /var/cache/apt/archives --bind
mkdir -p "$workdir/debs/partial"

git clone -q --no-checkout "$source_dir" "$root/root/hostutils"
git -C "$root/root/hostutils" checkout -q --detach "$head"
echo "fresh root $root: $suite from $mirror, hostutils at $head"

installed() { # what dpkg lists in the root
  chroot "$root" dpkg-query -W -f='${Installed-Size}\n' | awk '{ s += $1; n++ } END { printf "%d packages, %.0f MiB", n, s / 1024 }'
}
report+=("$(printf '%-28s %s' "pristine root" "$(installed)")")
in_root=(env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb
  CI=true chroot "$root" /bin/bash -c)
status=0
step "./project.sh run" "${in_root[@]}" 'cd /root/hostutils && ./project.sh run' || status=$?
report+=("$(printf '%-28s %s' "  installed after it" "$(installed)")")
if ((status == 0)); then
  [[ -s $root/root/hostutils/build/stitky.pdf ]] || {
    echo "fresh-root-check: ./project.sh run made no build/stitky.pdf" >&2
    status=1
  }
fi
if ((status == 0)); then
  step "scripts/setup.sh test" "${in_root[@]}" 'cd /root/hostutils && scripts/setup.sh test' || status=$?
  report+=("$(printf '%-28s %s' "  installed after it" "$(installed)")")
fi
if ((status == 0)); then
  step "./project.sh test (no net)" unshare --net /bin/sh -c 'ip link set lo up && exec "$@"' sh \
    "${in_root[@]}" 'cd /root/hostutils && ./project.sh test' || status=$?
fi
echo
echo "fresh root ($suite minbase, hostutils $head):"
printf '  %s\n' "${report[@]}"
exit "$status"
