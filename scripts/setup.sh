#!/usr/bin/env bash
# Shared set-up of ./run and ./test: install what is missing, configure and build.
set -euo pipefail

PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev
          qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev
          xfsprogs btrfs-progs
          librsvg2-bin xdg-user-dirs dpkg-dev fakeroot file desktop-file-utils appstream lintian)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    # Waits for another install that holds the package lock instead of failing.
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}"
fi

BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DOSTREVAN_WERROR=ON > /dev/null
cmake --build build
