#!/usr/bin/env bash
# The Windows stage of the test suite: cross-builds the toolkit-free core with MinGW-w64 and runs its
# tests under Wine, in a fresh Wine prefix inside the build directory (no display, no downloads).
# The serial tests talk to the Linux simulator: TKD_HOST_SIM names a tk4700-sim already built (the
# Linux stage's); without it this script builds one, and only that, in build/win64-host.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
export WINEDEBUG=-all
if [ -z "${TKD_HOST_SIM:-}" ]; then
  echo "=== build the Linux simulator for the Windows serial tests ==="
  cmake -S . -B build/win64-host -G Ninja -DTKD_BUILD_GUI=OFF -DTKD_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release
  cmake --build build/win64-host -j "$jobs" --target tk4700-sim
  TKD_HOST_SIM=$PWD/build/win64-host/sim/tk4700-sim
fi

echo "=== cross-build for Windows and test under Wine ==="
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTKD_WERROR=ON \
  -DCMAKE_BUILD_TYPE=Release -DTKD_HOST_SIM="$(realpath "$TKD_HOST_SIM")"
cmake --build build/win64 -j "$jobs"
# A fresh prefix each run; CTest's emulator (cmake/wine-run.sh) makes it on first use and maps the
# simulator's COM port there.
WINEPREFIX=$PWD/build/win64/wineprefix wineserver -k 2>/dev/null || true
rm -rf build/win64/wineprefix build/win64/wineprefix.lock build/win64/wineprefix.server.log
ctest --test-dir build/win64 --output-on-failure -j "$jobs"
WINEPREFIX=$PWD/build/win64/wineprefix wineserver -k 2>/dev/null || true

echo "=== Windows installer, and the installed program under Wine against the simulator ==="
(cd build/win64 && cpack -G NSIS)
bash scripts/smoke-windows.sh --installer "build/win64/tk-dedi-$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-setup.exe" \
  build/win64/src/app/tk-dedi.exe "$TKD_HOST_SIM"
