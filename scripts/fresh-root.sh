#!/usr/bin/env bash
# Proves the README's first command on a fresh Debian 12 machine: a minbase bookworm root
# gets a clean clone of this checkout and runs ./scripts/demo.sh in it, which must pass
# and leave its screenshots. The same root then configures and builds the print service
# with only the service's own packages, so every purpose of install-deps.sh that is not
# already proven by the rest of the test command is seen to list what its build needs.
#
#   scripts/fresh-root.sh            run as root; the root is made under $FRESH_ROOT_WORK
#
# The minbase root is made once by debootstrap and kept as a tarball in $FRESH_ROOT_CACHE
# (default /var/cache/tauravat-fresh-root), beside apt's downloaded packages, so later runs
# only unpack it and install from the cache.
#
# Safety comes before speed: the root never sees the host's /dev. It gets a private tmpfs
# /dev with a handful of device nodes, its own devpts instance, and a tmpfs /dev/shm. On
# the way out every process whose root is this root is killed, every mount under it is
# lazily unmounted, and the tree is removed only when no mount is left under it.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

cache=${FRESH_ROOT_CACHE:-/var/cache/tauravat-fresh-root}
work=${FRESH_ROOT_WORK:-/var/tmp}
mirror=${FRESH_ROOT_MIRROR:-http://deb.debian.org/debian}
tarball=$cache/bookworm-minbase.tar.gz
archives=$cache/apt-archives

if ((EUID != 0)); then
  echo "fresh-root: must run as root (debootstrap, chroot and mounts)" >&2
  exit 2
fi

mkdir -p "$cache" "$archives/partial" "$work"
root=$(mktemp -d "$work/tauravat-fresh-root.XXXXXX")
root=$(realpath "$root")

mounts_under_root() {
  # Mount points are the fifth field of mountinfo; the deepest come first so that each
  # is unmounted before its parent.
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo |
    sort -r
}

kill_root_processes() {
  local pid link
  for pid in /proc/[0-9]*; do
    link=$(readlink "$pid/root" 2>/dev/null) || continue
    if [[ $link == "$root" || $link == "$root/"* ]]; then
      kill -9 "${pid#/proc/}" 2>/dev/null || true
    fi
  done
}

cleanup() {
  local status=$? mount
  set +e
  kill_root_processes
  sleep 0.5
  kill_root_processes
  while read -r mount; do
    [[ -n $mount ]] && umount -l "$mount"
  done < <(mounts_under_root)
  if [[ -n $(mounts_under_root) ]]; then
    echo "fresh-root: mounts remain under $root; leaving it in place:" >&2
    mounts_under_root >&2
    exit 1
  fi
  rm -rf --one-file-system "$root"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$SECONDS
if [[ ! -s $tarball ]]; then
  echo "fresh-root: making a Debian 12 minbase root with debootstrap (once; cached in $tarball)"
  debootstrap --variant=minbase --cache-dir="$archives" bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -n 30 "$root.log" >&2; rm -f "$root.log"; exit 1; }
  rm -f "$root.log"
  tar -C "$root" -czf "$tarball.part" . && mv "$tarball.part" "$tarball"
else
  echo "fresh-root: unpacking the cached Debian 12 minbase root"
  tar -C "$root" -xzf "$tarball"
fi

# What a fresh machine has: the release, its updates and its security archive.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
# apt keeps what it downloads, in the cache beside the tarball.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' >"$root/etc/apt/apt.conf.d/01keep-debs"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# A private /dev: a few nodes, a pseudo-terminal instance of its own, and shared memory.
mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
mknod -m 0666 "$root/dev/null" c 1 3
mknod -m 0666 "$root/dev/zero" c 1 5
mknod -m 0666 "$root/dev/full" c 1 7
mknod -m 0666 "$root/dev/random" c 1 8
mknod -m 0666 "$root/dev/urandom" c 1 9
mknod -m 0666 "$root/dev/tty" c 5 0
mkdir -p "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mkdir -p "$root/var/cache/apt/archives"
mount --bind "$archives" "$root/var/cache/apt/archives"

# A clean clone of what is committed here, as a new user would have it.
git clone -q --no-hardlinks "$source" "$root/root/tauravat"

in_root() { chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"; }

echo "fresh-root: running ./scripts/demo.sh in the fresh root"
demo_started=$SECONDS
in_root /bin/bash -c 'cd /root/tauravat && ./scripts/demo.sh' >"$work/fresh-root-demo.log" 2>&1 ||
  { tail -n 40 "$work/fresh-root-demo.log" >&2; echo "fresh-root: demo.sh failed" >&2; exit 1; }
demo_seconds=$((SECONDS - demo_started))
shots=$(find "$root/root/tauravat/build/demo/demo-screenshots" -name '*.png' -size +0 2>/dev/null | wc -l)
if ((shots == 0)); then
  tail -n 40 "$work/fresh-root-demo.log" >&2
  echo "fresh-root: demo.sh made no screenshots" >&2
  exit 1
fi
echo "fresh-root: demo.sh passed in ${demo_seconds} s and made $shots screenshots"

echo "fresh-root: building the print service with only the service's packages"
in_root /bin/bash -c 'cd /root/tauravat && ./scripts/install-deps.sh service &&
  cmake --preset service && cmake --build --preset service -j"$(nproc)"' \
  >"$work/fresh-root-service.log" 2>&1 ||
  { tail -n 40 "$work/fresh-root-service.log" >&2; echo "fresh-root: service build failed" >&2; exit 1; }
rm -f "$work/fresh-root-demo.log" "$work/fresh-root-service.log"
echo "fresh-root: the service's purpose builds alone; whole stage took $((SECONDS - started)) s"
