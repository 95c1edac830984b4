#!/usr/bin/env bash
# Installs the Debian 12 packages that a purpose needs. Run as root; packages already
# present are left alone.
#
#   scripts/install-deps.sh [PURPOSE...]
#
#   demo     build TauraSW and show it on a virtual display (scripts/demo.sh)
#   test     everything scripts/test.sh runs: all of the purposes below
#   windows  cross-build the DLL with mingw-w64, test it under wine (scripts/test-windows.sh)
#   fuzz     the libFuzzer targets (scripts/fuzz.sh)
#   service  the print service: HTTP, the journal and the broker
#   all      every purpose; the default when none is given
set -euo pipefail

# The library, the tauravat program and the emulator.
build=(cmake ninja-build g++ pkg-config nlohmann-json3-dev)
# TauraSW, its Polish Qt texts, a font for its offscreen windows, a virtual display.
program=(qt6-base-dev qt6-translations-l10n fonts-dejavu-core xvfb xauth)
# The test suites and benchmarks of the default build.
suites=(python3 python3-pytest python3-pip python3-setuptools python3-wheel python3-jsonschema python3-mypy googletest libgtest-dev libgmock-dev libbenchmark-dev)
# cpack's dependency scan, the Debian package test, valgrind's leak check, and the fresh
# Debian root in which the README's first command is proven (scripts/fresh-root.sh).
checks=(dpkg-dev file lintian man-db python3-venv valgrind debootstrap git ccache)
# The print service: HTTP, the journal, and the broker it connects out to (the broker itself
# and the fleet tool's MQTT client are for chains that run one, and for the suites; openssl
# makes the broker suite's TLS certificates).
service=(libcpp-httplib-dev libsqlite3-dev libmosquitto-dev mosquitto python3-paho-mqtt openssl)
# The shop's page, tried in a real browser.
browser=(chromium chromium-driver python3-selenium)
# A serial device server in front of the emulator, for the network ports' suites.
network=(ser2net)
# The service's OpenAPI document is linted by Redocly's CLI, which npm fetches in the test.
interface=(nodejs npm)
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine)
fuzz=(clang-14 libclang-rt-14-dev)

packages=()
for purpose in "${@:-all}"; do
  case $purpose in
    demo) packages+=("${build[@]}" "${program[@]}") ;;
    # test-windows.sh also builds the emulator in the default build, tests included.
    windows) packages+=("${build[@]}" "${program[@]}" "${suites[@]}" "${windows[@]}") ;;
    # The service's fuzz target builds its answers, which takes the service's libraries.
    fuzz) packages+=("${build[@]}" "${fuzz[@]}" "${service[@]}") ;;
    service) packages+=("${build[@]}" "${service[@]}") ;;
    test | all)
      packages+=("${build[@]}" "${program[@]}" "${suites[@]}" "${checks[@]}" "${service[@]}"
                 "${network[@]}" "${interface[@]}" "${browser[@]}" "${windows[@]}"
                 "${fuzz[@]}") ;;
    *)
      echo "usage: $0 [demo|test|windows|fuzz|service|all]..." >&2
      exit 2 ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  # A Node.js that brings its own npm (NodeSource's) serves as well; Debian's npm conflicts
  # with it.
  [[ $p == npm ]] && command -v npm >/dev/null && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -q
  apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi
