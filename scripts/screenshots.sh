#!/usr/bin/env bash
# Screenshots of TauraSW for the README, taken from the real program under Xvfb with
# the emulated printer: the dialog, the editor of a 7-rate and of a 5-rate printer, the
# daily-report question, the read-out view and the information that rates left as they
# are are not written (on the 5-rate printer), into docs/screenshots/.
#
# The program walks its own windows through one rate change (--screenshots=DIR) and
# saves each window as it shows, so no window manager or pointer scripting is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/default}
program=$build/app/TauraSW
out=$root/docs/screenshots

if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
  apt-get -o DPkg::Lock::Timeout=600 install -y xvfb xauth
fi
if [ ! -x "$program" ]; then
  [ -d "$build" ] || cmake --preset default -S "$root"
  cmake --build "$build" --target TauraSW -j2
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A fixed look: no user style or locale settings leak into the pictures.
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=Fusion

tour() {  # model directory
  (cd "$tmp" && timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
    "$program" --emulator="$1" --screenshots="$tmp/$2")
}

tour luno seven
tour rx820a-4 five

mkdir -p "$out"
cp "$tmp/seven/dialog.png" "$tmp/seven/editor-7-rates.png" \
   "$tmp/seven/daily-report-question.png" "$tmp/seven/readout.png" "$out/"
cp "$tmp/five/editor-5-rates.png" "$tmp/five/unchanged-rates.png" "$out/"
ls -l "$out"
