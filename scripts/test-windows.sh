#!/usr/bin/env bash
# The Windows build: cross-builds tauravat.dll and the driver's test programs with
# mingw-w64 for x86_64 and i686, checks both export tables, and runs the x86_64 programs
# that prove the Windows layer under wine, with the printer emulator (a Linux program)
# on a pseudo-terminal linked into the wine prefix as COM5.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/install-deps.sh windows
jobs=$(nproc)

# The programs run under wine below.
suites=(
  tests/serial/serial_tests
  tests/protocol/protocol_tests
  tests/protocol/c_abi_tests
  tests/check/check_tests
  tests/driver/driver_scripted_tests
  tests/driver/driver_emulator_tests
  tests/handle/handle_tests
  tests/receipt/receipt_emulator_tests
  tests/windows/win32_serial_tests
  tests/windows/dll_exports_tests
)
# Each preset builds every one of its targets, whether it runs here or not: what does not
# compile for Windows is found here, not by the next person to build the preset. 32-bit
# programs cannot run here; c_abi_tests among them is linked through the import library,
# proof that the stdcall-decorated imports resolve to the plain exports.
for preset in mingw64 mingw32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

for build in mingw64:x86_64 mingw32:i686; do
  cmake -DOBJDUMP="${build#*:}-w64-mingw32-objdump" -DDLL="build/${build%%:*}/driver/tauravat.dll" \
        -DDEF="build/${build%%:*}/driver/tauravat.def" -P tests/windows/check_exports.cmake
done

# The emulator runs natively; its build is the regular one.
cmake --preset default >/dev/null
cmake --build --preset default -j"$jobs" --target kestra-emu
shim=build/mingw64/pty_line_shim.so
cc -O2 -Wall -Wextra -Werror -shared -fPIC -o "$shim" tests/windows/pty_line_shim.c -ldl

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
emulator_pid=
net_emulator_pid=
ser2net_pid=
cleanup() {
  local status=$?
  # wineserver holds the pty as its controlling terminal: it goes before the pty's peer.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # Stopped by pid, and killed when SIGTERM has not ended them within 5 s; what they
  # answer on the way out is not this stage's outcome.
  for pid in "$ser2net_pid" "$net_emulator_pid" "$emulator_pid"; do
    [[ -n $pid ]] || continue
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work" || true
  exit "$status"
}
trap cleanup EXIT

wineboot -i >/dev/null 2>&1

# Starts an emulator on a pty of its own: sets $pty and the pid variable named by $2.
start_emulator() {
  build/default/emulator/kestra-emu --rates 23,8,R,5,Z,0,R >"$work/$1.out" 2>"$work/$1.err" &
  printf -v "$2" %s $!
  for _ in $(seq 100); do
    [[ -s $work/$1.out ]] && break
    sleep 0.1
  done
  pty=$(head -n 1 "$work/$1.out")
  [[ -c $pty ]] || { echo "the emulator gave no terminal: $(cat "$work/$1.err")" >&2; exit 1; }
}

# A second printer behind ser2net on loopback, raw and RFC 2217, for the DLL's network
# devices: wine's programs reach the Linux server through Winsock as a till would.
if [[ -x /usr/sbin/ser2net ]]; then
  start_emulator net-emulator net_emulator_pid
  read -r raw_port telnet_port < <(python3 -c '
import socket
held = [socket.socket() for _ in range(2)]
for s in held: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))')
  cat >"$work/ser2net.yaml" <<EOF
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: serialdev,$pty,9600e81,local
  options:
    chardelay: false
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$telnet_port
  connector: serialdev,$pty,9600e81,local
  options:
    chardelay: false
EOF
  /usr/sbin/ser2net -n -c "$work/ser2net.yaml" >"$work/ser2net.log" 2>&1 &
  ser2net_pid=$!
  for _ in $(seq 50); do
    grep -q "$(printf '0100007F:%04X 00000000:0000 0A' "$telnet_port")" /proc/net/tcp && break
    sleep 0.1
  done
  export TAURAVAT_TEST_SOCKET_URL=socket://127.0.0.1:$raw_port
  export TAURAVAT_TEST_RFC2217_URL=rfc2217://127.0.0.1:$telnet_port
else
  echo "ser2net is not installed: the DLL's network devices are not run" >&2
fi

start_emulator emulator emulator_pid
ln -s "$pty" "$WINEPREFIX/dosdevices/com5"
: >"$work/not-a-port"
ln -s "$work/not-a-port" "$WINEPREFIX/dosdevices/com6"
export TAURAVAT_TEST_COM=5 TAURAVAT_TEST_FILE_COM=6
WINEPATH=$(winepath -w "$root/build/mingw64/driver")
export WINEPATH

passed=0
failed=0
for suite in "${suites[@]}"; do
  echo "== $suite.exe (wine)"
  if LD_PRELOAD=$root/$shim timeout 300 wine "build/mingw64/$suite.exe" --gtest_brief=1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $suite.exe"
  fi
done
echo "windows: $passed passed, $failed failed"
((failed == 0))
