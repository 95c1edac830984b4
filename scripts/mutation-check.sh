#!/usr/bin/env bash
# Developer tool: proves the driver, receipt and reliability suites catch real faults. Each
# mutation below breaks one decision of the driver in a scratch copy of the tree; the
# suites are built and run there, and each mutation must make at least one test fail.
# Not part of scripts/test.sh (it rebuilds the driver once per mutation).
#
# Usage: scripts/mutation-check.sh [--at REV] [name ...]   (default: every mutation)
#   --at REV  runs the suites as they were at commit REV instead of the working tree
# Prints one line per mutation, "caught" with the failing tests, or "MISSED"; the exit
# status is the number missed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scratch=$root/build/mutation/src
build=$scratch/build/default
log=$root/build/mutation/log
export CCACHE_DIR=${CCACHE_DIR:-/work/ccache} CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache

all_targets=(driver_scripted_tests driver_emulator_tests receipt_scripted_tests
  receipt_emulator_tests fault_matrix_tests receipt_property_tests)
# The suites each mutation is run against: the receipt's, or the rest of the driver's;
# the fault matrix in both.
receipt_targets=(receipt_scripted_tests receipt_emulator_tests fault_matrix_tests)
receipt_tests='^(PrinterText|ScriptedReceipt|ReceiptOnEmulator|ReceiptFaults|Operations/FaultMatrix)\.'
driver_targets=(driver_scripted_tests driver_emulator_tests fault_matrix_tests)
driver_tests='^(Identification|Connection|BadInput|ArticleName|DriverIdentity|PrintSupervision|Orders/PreconditionTable|ScriptedDriver|TaxRates|Reports|Clock|Counters|DateTimeFormats|Announcements|OnEmulator|Operations/FaultMatrix)\.'

# name @ file under driver/src @ sed expression @ suites (receipt or driver) @ what it breaks
mutations=(
  "end-forgets-sent@receipt.cpp@s/EndProgress = EndStep::kEndSent;/EndProgress = EndStep::kNothingSent;/@receipt@a retried end sends the discount and total again"
  "sum-resent@receipt.cpp@0,/if (EndProgress < EndStep::kSumSent) {/s//if (true) {/@receipt@a retried end sends the total again"
  "acknowledged-end-forgotten@receipt.cpp@s/LastReceipt = ClosedReceipt::kEndedNotKnown;/LastReceipt = ClosedReceipt::kToldOrNone;/@receipt@a retried end after an acknowledged end of unknown outcome says no receipt is open"
  "lost-begin-not-cancelled@receipt.cpp@/^    SendAcknowledged(\*this, cmd::kCancel);$/d@receipt@a begin whose answer is lost leaves a receipt behind"
  "cancel-sent-once@receipt.cpp@/cancelled = SendAcknowledged(\*this, cmd::kCancel);$/s/if (cancelled != kOk/if (false \&\& cancelled != kOk/@receipt@a cancel whose answer is lost is not sent again"
  "discount-half-up@receipt.cpp@s/remainder > 50/remainder >= 50/@receipt@a discount rounds half up"
  "counter-compare@receipt_outcome.cpp@s/now != ReceiptCounterAtBegin/now == ReceiptCounterAtBegin/@receipt@a moved receipt counter reads as not printed"
  "status-unconfirmed@receipt_outcome.cpp@s/if (!cancelled) return kOk;/return kOk;/@receipt@one garbled status byte cancels the receipt"
  "rates-unanswered-as-none@status.cpp@0,/if (result != kNak) return result;/s//if (result != kNak) return kNoTaxRates;/@driver@an unanswered rate read is told as no rates"
  "report-timeouts@reports.cpp@s/^  Reopen(before);/  Reopen({before.writeMs, PortReadTimeout * 1000u});/@driver@after a long report the port reads with the driver's own time-out"
  "daily-empty-day@reports.cpp@s/reply\[0\] == 0 \&\& reply\[1\] == 0/reply[0] == 0 || reply[1] == 0/@driver@the empty-day rule reads one counter byte"
  "failed-port-kept@connection.cpp@s/address.Empty() || !Link.PortFailed()/true/@receipt@a port with a line error is never reopened"
  "connect-refused-cancel@connection.cpp@s/cancel != kOk \&\& cancel != kNak/cancel != kOk/@driver@a NAK to the connecting cancel fails the connection"
  "four-rate-hundredths@tax_rates.cpp@s/ \&\& values\[i\] % 100 == 0//@driver@a 4-rate model gets a rate with hundredths cut"
  "memory-status-skip@print_control.cpp@s/followsWithoutMemoryStatus \&\& mode != 1/followsWithoutMemoryStatus \&\& mode == 1/@driver@supervision asks the memory status while following a printout"
  "paper-back-resume@print_control.cpp@s/(stopped \&\& busy)/(stopped \&\& !busy)/@driver@a printout stopped for paper is not resumed"
)

revision=
if [[ ${1:-} == --at ]]; then
  revision=$2
  shift 2
fi

# The scratch copy takes only the files that differ, so that the build sees exactly what
# changed whatever the time stamps of the copies.
sync_scratch() {
  local stage=$root/build/mutation/stage
  rm -rf "$stage"
  mkdir -p "$stage" "$scratch"
  if [[ -n $revision ]]; then
    git archive "$revision" | tar -xf - -C "$stage"
  else
    tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$stage"
  fi
  local file
  (cd "$scratch" && find . -path ./build -prune -o -type f -print) | while read -r file; do
    [[ -e $stage/$file ]] || rm -f "$scratch/$file"
  done
  (cd "$stage" && find . -type f) | while read -r file; do
    if ! cmp -s "$stage/$file" "$scratch/$file"; then
      mkdir -p "$(dirname "$scratch/$file")"
      cp "$stage/$file" "$scratch/$file"
    fi
  done
  # A file an earlier run left mutated in the build is rebuilt from the clean copy.
  local entry name
  for entry in "${mutations[@]}"; do
    IFS='@' read -r name file _ <<<"$entry"
    touch "$scratch/driver/src/$file"
  done
}

configure() {
  (cd "$scratch" && cmake --preset default -DTAURAVAT_BUILD_APP=OFF -DTAURAVAT_BUILD_BENCH=OFF \
    >"$log/configure.txt" 2>&1)
}

build() {
  nice -n 10 cmake --build "$build" -j2 --target "$@" >"$log/build.txt" 2>&1
}

# run_suites OUTPUT [REGEX]
run_suites() {
  local select=(-L 'driver|receipt|reliability')
  [[ -n ${2:-} ]] && select=(-R "$2")
  (cd "$build" && ctest "${select[@]}" -j2 --timeout 300 --stop-on-failure >"$1" 2>&1)
}

mkdir -p "$log"
sync_scratch
configure || { echo "configure failed: $log/configure.txt"; exit 100; }
build "${all_targets[@]}" || { echo "unmutated build failed: $log/build.txt"; exit 100; }
run_suites "$log/clean.txt" || { echo "suites fail without a mutation: $log/clean.txt"; exit 100; }

missed=0
for entry in "${mutations[@]}"; do
  IFS='@' read -r name file expression suites what <<<"$entry"
  if [[ $suites == receipt ]]; then
    targets=("${receipt_targets[@]}") tests=$receipt_tests
  else
    targets=("${driver_targets[@]}") tests=$driver_tests
  fi
  if [[ $# -gt 0 && ! " $* " =~ " $name " ]]; then continue; fi
  source=$scratch/driver/src/$file
  cp "$root/driver/src/$file" "$source"
  sed -i "$expression" "$source"
  if cmp -s "$root/driver/src/$file" "$source"; then
    echo "$name: NOT APPLIED (the code it mutates has changed)"
    missed=$((missed + 1))
    continue
  fi
  if ! build "${targets[@]}"; then
    echo "$name: MISSED (does not build: $log/build.txt)"
    missed=$((missed + 1))
  elif run_suites "$log/$name.txt" "$tests"; then
    echo "$name: MISSED ($what)"
    missed=$((missed + 1))
  else
    failed=$(sed -nE 's/^\s+[0-9]+ - ([^ ]+) .*/\1/p' "$log/$name.txt" | head -3 | tr '\n' ' ')
    echo "$name: caught by $failed"
  fi
  cp "$root/driver/src/$file" "$source"
done
exit "$missed"
