#!/usr/bin/env bash
# Installs, from Debian 12's packages, everything the build, the tests, the demo, the fuzzers and the
# Debian package need.
# Does nothing when all of it is already there; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config libsystemd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core fonts-dejavu-extra
  clang libclang-rt-14-dev
  xvfb xauth x11-apps libx11-dev
  dpkg-dev file lintian librsvg2-bin desktop-file-utils
  g++-mingw-w64-x86-64-posix googletest wine wine64
  nsis xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then as_root=(sudo); else
    echo "Please run as root (or install sudo): apt-get install ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
