#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds, and starts the device
# simulator on a pseudo-terminal mapped to COM 1.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ -z "${ZPK3X_SKIP_INSTALL:-}" ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build \
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-svg-dev libqt6svg6 \
    qt6-translations-l10n libqt6uitools6 libgl-dev \
    libgtest-dev libgmock-dev googletest libbenchmark-dev fonts-dejavu-core
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
exec build/tools/zpk3x-sim/zpk3x-sim --link "$PWD/.run/COM1"
