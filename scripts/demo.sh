#!/usr/bin/env bash
# Builds TauraSW and runs it against the built-in printer emulator (an emulated
# 7-rate LUNO on a pseudo-terminal, preselected in the port list). Extra arguments go
# to the program, e.g. ./scripts/demo.sh --emulator=taura-f
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the demonstration needs: no test suites, cross-compilers or sanitizers.
./scripts/install-deps.sh demo

cmake --preset demo
cmake --build --preset demo --target TauraSW kestra-emu -j"$(nproc)"
program=build/demo/app/TauraSW

args=("$@")
[[ " ${args[*]-} " == *" --emulator"* ]] || args=(--emulator "${args[@]}")

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "$program" "${args[@]}"
fi

# No display: walk through the windows on a virtual one and keep pictures of them.
shots=build/demo/demo-screenshots
echo "No display here. To use the program interactively on this machine, run it on a"
echo "virtual display and look at it with a VNC viewer or screenshots:"
echo "    xvfb-run -a $program --emulator"
echo "Walking through the whole flow on a virtual display now; pictures go to $shots/"
mkdir -p "$shots"
xvfb-run -a -s "-screen 0 1024x768x24" "$program" "${args[@]}" --screenshots="$shots"
ls -1 "$shots"
