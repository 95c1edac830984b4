#!/usr/bin/env bash
# valgrind's leak check over a day of a receipt, a daily report and a rate programming
# against the emulated printer on a pseudo-terminal. Uses a plain (unsanitised) build.
# Usage: scripts/valgrind.sh [build-dir, default build/default]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAURAVAT_BUILD_APP=OFF
fi
cmake --build "$build" -j"$(nproc)" --target leak_scenario
valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1 \
  "$build/tests/reliability/leak_scenario"
echo "valgrind: no leaks, no errors"
