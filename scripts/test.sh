#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine: installs what it needs, then builds and
# tests three times: plainly, under AddressSanitizer + UndefinedBehaviorSanitizer, and under
# ThreadSanitizer (the line thread, the disk writer and the window's thread).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_variant() {
  local name=$1; shift
  echo "=== build and test: $name ==="
  cmake -S . -B "build/$name" -G Ninja -DTKD_WERROR=ON "$@"
  cmake --build "build/$name" -j "$jobs"
  ctest --test-dir "build/$name" --output-on-failure -j "$jobs"
}

run_variant plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTKD_BUILD_BENCH=ON
run_variant sanitize -DCMAKE_BUILD_TYPE=Debug -DTKD_SANITIZE=ON -DTKD_BUILD_BENCH=OFF
# Qt is not built with ThreadSanitizer: what its own threads do (QtGui's pools) is left out, our
# code is checked wherever it runs, and any report fails the run.
TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1" \
  run_variant tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTKD_SANITIZE_THREAD=ON -DTKD_BUILD_BENCH=OFF
bash scripts/check-package.sh

TKD_HOST_SIM=build/plain/sim/tk4700-sim bash scripts/test-windows.sh

bash scripts/fuzz.sh --short
echo "=== all tests passed ==="
