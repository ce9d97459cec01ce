#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Does nothing (and asks for nothing) when they are all present already.
set -euo pipefail

packages=(
    cmake
    ninja-build
    g++
    make
    qt6-base-dev
    libgl-dev
    libjpeg62-turbo-dev
    xvfb
    xauth
    rsync
    g++-mingw-w64-x86-64-posix
    dpkg-dev
    wine
    wine64
    desktop-file-utils
    systemd
    openbox
    x11-utils
    xdotool
    clang-format
    libxxhash-dev
    lintian
    nsis
    zip
    unzip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
