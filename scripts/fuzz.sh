#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer + UndefinedBehaviorSanitizer in
# build/fuzz and runs each one over its seed corpus; any crash, leak or failed check fails the script.
#
#   scripts/fuzz.sh --short       each target for 20 s (what CI runs)
#   scripts/fuzz.sh               each target for 10 minutes
#   scripts/fuzz.sh --minutes N   each target for N minutes
#   scripts/fuzz.sh --seconds N   each target for N seconds
#
# The targets run as many at a time as there are cores; new inputs go to build/fuzz/corpus/<target> (the
# committed seeds under tests/fuzz/corpus are only read), crash inputs and logs to build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
case "${1:-}" in
  --short) seconds=20 ;;
  --minutes) seconds=$(( ${2:?"--minutes needs a number"} * 60 )) ;;
  --seconds) seconds=${2:?"--seconds needs a number"} ;;
  "") ;;
  *) echo "usage: $0 [--short | --minutes N | --seconds N]" >&2; exit 2 ;;
esac

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTKD_BUILD_FUZZ=ON -DTKD_BUILD_GUI=OFF -DTKD_BUILD_BENCH=OFF -DTKD_SANITIZE=ON -DTKD_WERROR=ON >/dev/null
# Each target's seeds are tests/fuzz/corpus/<target>; its program is test_<target>.
targets=(fuzz_records fuzz_poll)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/test_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
run_target() {
  local target=$1 corpus="$build/corpus/$1"
  mkdir -p "$corpus"
  "$build/tests/fuzz/test_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$corpus" "tests/fuzz/corpus/$target" \
    >"$build/findings/$target.log" 2>&1
}
# As many targets at a time as there are cores.
jobs=$(nproc)
failed=0
for (( i = 0; i < ${#targets[@]}; i += jobs )); do
  batch=("${targets[@]:i:jobs}")
  pids=()
  for target in "${batch[@]}"; do
    echo "=== fuzz: $target for ${seconds} s ==="
    run_target "$target" &
    pids+=($!)
  done
  for k in "${!batch[@]}"; do
    target=${batch[$k]}
    if wait "${pids[$k]}"; then
      echo "$target: $(grep -E '^stat::number_of_executed_units' "$build/findings/$target.log" | awk '{print $2}') executions, no finding"
    else
      failed=1
      echo "FAILED: $target (log: $build/findings/$target.log)"
      tail -n 40 "$build/findings/$target.log"
    fi
  done
done
exit "$failed"
