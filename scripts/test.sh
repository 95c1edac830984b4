#!/usr/bin/env bash
# Builds everything and runs the whole test suite:
#   1. the regular build and every suite (driver, emulator, program, tools, fault matrix);
#   2. the same suites under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the serial layer, the exchange and the program's flow under ThreadSanitizer;
#   4. valgrind's leak check over a whole receipt and a rate programming;
#   5. each libFuzzer target for a bounded time (FUZZ_SECONDS, default 30);
#   6. the Windows DLL cross-built with mingw-w64, its tests run under wine;
#   7. the README's first command, ./scripts/demo.sh, in a fresh Debian 12 minbase root on a
#      clean clone of this checkout, and the service built there with its own packages only.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test

# Builds go through ccache, keyed on paths relative to the checkout, so that a clean clone
# compiles only what changed since the last run on this machine.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake --preset default
cmake --build --preset default -j"$jobs"
ctest --preset default -j"$jobs"

cmake --preset asan
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

cmake --preset tsan
cmake --build --preset tsan -j"$jobs"
ctest --preset tsan -j"$jobs"

./scripts/valgrind.sh build/default
./scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
./scripts/test-windows.sh
./scripts/fresh-root.sh
