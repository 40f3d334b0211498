#!/usr/bin/env bash
# Installs the Debian packages Corvidel needs (those missing only) and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make ninja-build ccache pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libsqlite3-dev mdbtools-dev libzip-dev libcsv-dev
          nlohmann-json3-dev
          libseccomp-dev libgtest-dev dbus python3-dbusmock xvfb xauth fonts-dejavu-core poppler-utils python3-openpyxl
          chromium
          libreoffice-calc-nogui dpkg-dev file man-db desktop-file-utils appstream lintian)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A build folder keeps the generator it was made with; a new one uses Ninja, and ccache for rebuilds.
configure=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
[ -f build/CMakeCache.txt ] || configure+=(-G Ninja)
cmake -S . -B build "${configure[@]}" >/dev/null
cmake --build build -j"$(nproc)"
