#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when
# any is missing: as root with apt-get, otherwise through sudo. With the
# argument "windows" it adds what the Windows build and its tests under Wine
# need (`make windows`, `make test-windows`).
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev
    libgl-dev libxkbcommon-dev libx11-dev fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
    clang libclang-rt-14-dev
    iproute2 xvfb xauth x11-apps imagemagick tcpdump
    python3 dpkg-dev file desktop-file-utils appstream mandoc man-db lintian
    srecord tmux
)
if [ "${1:-}" = "windows" ]; then
    packages+=(
        g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        wine wine64 nsis zip unzip nlohmann-json3-dev
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
