#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from the corpus
# kept in fuzz/corpus/<target>. New inputs go to build/fuzz/corpus/<target>, findings to
# build/fuzz/artifacts/. Usage: scripts/fuzz.sh [seconds per target, default 30] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh fuzz
seconds=${1:-30}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(exchange p_exports emulator)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target/
  mkdir -p "$work" "$artifacts"
  echo "== $target: $seconds s"
  # One job: the machine is shared. A run that hangs for 10 s on one input is a finding.
  if ! build/fuzz/fuzz/${target}_fuzz "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
      2>build/fuzz/$target.log; then
    echo "!! $target found a failure; see build/fuzz/$target.log and $artifacts" >&2
    tail -40 build/fuzz/$target.log >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build/fuzz/$target.log || true
  fi
done
exit $status
