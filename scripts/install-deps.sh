#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demonstration need.
# Run as root; packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3 dpkg-dev file
  python3-pytest python3-pip python3-setuptools python3-wheel
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core
  xvfb xauth
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine
  clang-14 libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -q
  apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi
