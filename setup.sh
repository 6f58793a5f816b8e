#!/usr/bin/env bash
# Installs what Tessvane needs on Debian 12, then configures and builds it in ./build.
# Usage: ./setup.sh [extra CMake options, e.g. -DTESSVANE_GUI=OFF]
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev qt6-multimedia-dev libgl-dev
  libsqlite3-dev libzip-dev zlib1g-dev libcurl4-openssl-dev libsystemd-dev dbus-daemon
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev python3-pyftpdlib nlohmann-json3-dev
  python3-bs4 python3-lxml desktop-file-utils universal-ctags groff-base appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build
