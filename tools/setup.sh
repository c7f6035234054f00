#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12
# machine: the i386 architecture, the MinGW-w64 i686 cross compiler, Wine with
# its 32-bit part, the fonts GDI uses for "ARIAL", GoogleTest's sources and
# ImageMagick and Python 3 (independent readers of the reference host's GIFs
# and AVIs) and apt-utils (the set-up's own test builds a small mirror).
#
# On a kernel that cannot run 32-bit x86 programs (no IA-32 emulation), Wine's
# 32-bit loader runs under QEMU's user-mode emulator instead: the set-up
# installs QEMU 10 from bookworm-backports (Debian 12's own 7.2 is too slow
# and breaks some of Wine's client-server writes) and registers it for i386
# programs through binfmt_misc, now and, where systemd reads /etc/binfmt.d,
# after a reboot.
#
# Packages come through tools/apt-install.sh, which installs without an
# updates, security or backports suite whose index a mirror has lost.
#
# Safe to run again: it does only what is missing, says each step in one
# line, and needs root only for those steps; with everything in place any
# user may run it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

say() { echo "setup.sh: $*"; }
fail() { echo "setup.sh: $*" >&2; exit 1; }

# A set-up that stops takes back the apt settings it added, so that a machine
# is left as it was found or fully set up, never in between.
undo=()
take_back() {
    local status=$? step
    [ "$status" -eq 0 ] || for step in "${undo[@]}"; do eval "$step" || true; done
}
trap take_back EXIT

packages=(
    cmake make
    g++-mingw-w64-i686-win32 mingw-w64-i686-dev
    wine wine32:i386 wine64
    fonts-liberation
    googletest
    imagemagick
    python3
    apt-utils
)
wine32_loader=/usr/lib/wine/wine
qemu=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc
# i386 ELF executables (machine 3), matched on the ELF header as Debian's
# qemu-user packages match them for other architectures; flag F opens the
# emulator now, so that chroots and containers see it too.
binfmt_line=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'$qemu':F'
binfmt_conf=/etc/binfmt.d/qemu-i386.conf

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

need_root() {
    [ "$(id -u)" -eq 0 ] ||
        fail "$1: run once as root (sudo bash tools/setup.sh), then build and test as yourself"
}

# Reads the package lists and installs in one transaction, leaving out a
# suite whose index stays broken where the install can do without it.
install_packages() { bash "$here/apt-install.sh" "$@"; }

# The suite's mirror as this machine's own apt sources name it.
bookworm_mirror() {
    apt-get indextargets --no-release-info --format '$(RELEASE) $(REPO_URI)' 2>/dev/null |
        awk '$1 == "bookworm" { print $2; exit }'
}

# True when a 32-bit x86 program runs here: natively, or through a
# registered emulator.
runs_32bit() { "$wine32_loader" --version >/dev/null 2>&1; }

qemu_is_10_or_later() {
    [ -x "$qemu" ] || return 1
    local major
    major=$("$qemu" --version 2>/dev/null | sed -n '1s/.* version \([0-9]*\)\..*/\1/p')
    [ -n "$major" ] && [ "$major" -ge 10 ]
}

register_qemu() {
    if [ ! -e "$binfmt/register" ]; then
        say "mounting binfmt_misc at $binfmt"
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    fi
    local cannot="binfmt_misc cannot be mounted or written here (a container without that privilege?)"
    [ -w "$binfmt/register" ] || fail "$cannot; the machine's host must register QEMU for i386 programs" \
                                      "by writing this line to $binfmt/register: $binfmt_line"
    # An earlier registration holds the emulator file it opened, perhaps an
    # older QEMU: replace it.
    if [ -e "$binfmt/qemu-i386" ]; then
        say "removing the earlier registration of qemu-i386"
        echo -1 >"$binfmt/qemu-i386"
    fi
    say "registering $qemu for i386 programs in $binfmt"
    printf '%s' "$binfmt_line" >"$binfmt/register" 2>/dev/null ||
        fail "$cannot; the machine's host must register: $binfmt_line"
    say "keeping the registration after a reboot (where systemd reads it) in $binfmt_conf"
    mkdir -p "$(dirname "$binfmt_conf")"
    printf '%s\n' "$binfmt_line" >"$binfmt_conf"
}

# 1. The packages.
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
i386=yes
dpkg --print-foreign-architectures | grep -qx i386 || i386=no
if [ "${#missing[@]}" -gt 0 ] || [ "$i386" = no ]; then
    need_root "missing ${missing[*]:-the i386 architecture}"
    if [ "$i386" = no ]; then
        say "adding the i386 architecture"
        dpkg --add-architecture i386
        undo+=("dpkg --remove-architecture i386")
    fi
    [ "${#missing[@]}" -eq 0 ] || install_packages "${missing[@]}"
    undo=()
fi

# 2. 32-bit programs: nothing more to do where they run.
runs_32bit && exit 0

need_root "this kernel cannot run 32-bit x86 programs and no emulator is registered for them"
say "this kernel cannot run 32-bit x86 programs: QEMU's user-mode emulator will run them"
if ! qemu_is_10_or_later; then
    mirror=$(bookworm_mirror)
    [ -n "$mirror" ] || fail "no bookworm suite in this machine's apt sources to take bookworm-backports from"
    list=/etc/apt/sources.list.d/bookworm-backports.list
    if ! apt-get indextargets --no-release-info --format '$(RELEASE)' 2>/dev/null | grep -qx bookworm-backports; then
        say "adding bookworm-backports from $mirror to $list"
        keyring=/usr/share/keyrings/debian-archive-keyring.gpg
        options=
        [ ! -f "$keyring" ] || options="[signed-by=$keyring] "
        echo "deb ${options}$mirror bookworm-backports main" >"$list"
        undo+=("rm -f $list")
    fi
    install_packages qemu-user-static/bookworm-backports
    qemu_is_10_or_later || fail "bookworm-backports gave $("$qemu" --version | head -n 1), not QEMU 10 or later"
fi
register_qemu
runs_32bit || fail "Wine's 32-bit loader still does not run under $qemu: $("$wine32_loader" --version 2>&1 | head -n 1)"
say "32-bit programs now run under $("$qemu" --version | head -n 1)"
