#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12
# machine: the i386 architecture, the MinGW-w64 i686 cross compiler, Wine with
# its 32-bit part, the fonts GDI uses for "ARIAL", GoogleTest's sources and
# ImageMagick and Python 3 (independent readers of the reference host's GIFs
# and AVIs). Safe to run again: it installs only what is missing, and needs
# root only then; with everything installed any user may run it.
set -euo pipefail

packages=(
    cmake make
    g++-mingw-w64-i686-posix mingw-w64-i686-dev
    wine wine32:i386 wine64
    fonts-liberation
    googletest
    imagemagick
    python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
i386=yes
dpkg --print-foreign-architectures | grep -qx i386 || i386=no
[ "${#missing[@]}" -gt 0 ] || [ "$i386" = no ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: missing ${missing[*]:-the i386 architecture}: install once as root" \
         "(sudo bash tools/setup.sh), then build and test as yourself" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
[ "$i386" = yes ] || dpkg --add-architecture i386
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
