#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12
# machine: the i386 architecture, the MinGW-w64 i686 cross compiler, Wine with
# its 32-bit part, the fonts GDI uses for "ARIAL", GoogleTest's sources and
# ImageMagick (an independent decoder for the reference host's output).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    cmake make
    g++-mingw-w64-i686-posix mingw-w64-i686-dev
    wine wine32:i386 wine64
    fonts-liberation
    googletest
    imagemagick
)

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=no
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
