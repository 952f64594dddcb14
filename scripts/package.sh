#!/usr/bin/env bash
# Builds the Debian package build/package/tk-dedi_<version>_<arch>.deb on Debian 12: installs what it
# needs, builds tk-dedi and tk4700-sim with Debian's hardening flags in build/deb, then runs CPack.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Debian's own compiler and linker flags (fortify, stack protector, relro, now, PIE).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# Only what the package holds is built (no tests, no benchmarks): CPack must not build "all" first.
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTKD_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}"
cmake --build build/deb -j "$(nproc)" --target tk-dedi tk4700-sim tkd_install_files

rm -rf build/package
(cd build/deb && cpack -G DEB -B "$PWD/../package")
rm -rf build/package/_CPack_Packages
ls build/package/*.deb
