#!/usr/bin/env bash
# The set-up's install decision (tools/apt-install.sh) against a small mirror
# of our own on loopback: two suites, two architectures, one index made short
# as a mirror that lost a file serves it. apt runs with a private
# configuration (its own state, cache, sources and parts), in simulation, so
# nothing of the machine changes and no root is needed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
server=
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failures=0
failed() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# libdemo is Multi-Arch: same, so its amd64 and i386 halves must have one
# version: 1.0 in the base suite, 1.1 in the security suite.
make_deb() { # name version arch suite
    local root=$work/build/$1-$2-$3
    mkdir -p "$root/DEBIAN" "$work/mirror/pool/$4/$3"
    cat >"$root/DEBIAN/control" <<EOF
Package: $1
Version: $2
Architecture: $3
Multi-Arch: same
Maintainer: Test <test@example.invalid>
Description: a package of the set-up's test mirror
EOF
    dpkg-deb --root-owner-group -Zgzip --build "$root" "$work/mirror/pool/$4/$3/$1_$2_$3.deb" >/dev/null
}
for arch in amd64 i386; do
    make_deb libdemo 1.0 "$arch" bookworm
    make_deb libdemo 1.1 "$arch" bookworm-security
done
(
    cd "$work/mirror"
    for suite in bookworm bookworm-security; do
        for arch in amd64 i386; do
            dir=dists/$suite/main/binary-$arch
            mkdir -p "$dir"
            apt-ftparchive packages "pool/$suite/$arch" >"$dir/Packages"
            gzip -k -n "$dir/Packages"
        done
        apt-ftparchive -o "APT::FTPArchive::Release::Suite=$suite" \
            -o "APT::FTPArchive::Release::Codename=$suite" \
            -o "APT::FTPArchive::Release::Architectures=amd64 i386" \
            -o "APT::FTPArchive::Release::Components=main" \
            release "dists/$suite" >"$work/Release"
        mv "$work/Release" "dists/$suite/Release"
        # As on Debian's mirrors: the Release names the plain index too, but
        # only the compressed one is served.
        rm "dists/$suite"/main/binary-*/Packages
    done
    cp -a dists "$work/whole-dists"
)

python3 - "$work/mirror" "$work/port" <<'EOF' &
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.func.log_message = lambda *args: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
open(sys.argv[2], "w").write(str(server.server_address[1]))
server.serve_forever()
EOF
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# The retries' waits are the set-up's business, not this test's.
mkdir -p "$work/bin"
printf '#!/bin/sh\n' >"$work/bin/sleep"
chmod +x "$work/bin/sleep"

# One case: a fresh private apt, the mirror whole but for the index named,
# made short by a few bytes; the status file lists what is "installed".
run_case() { # short-index-or-none status-file packages...
    local short=$1 status_file=$2 apt=$work/apt
    shift 2
    rm -rf "$apt" "$work/mirror/dists"
    cp -a "$work/whole-dists" "$work/mirror/dists"
    [ "$short" = none ] || truncate -s -64 "$work/mirror/dists/$short"
    mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/etc/sources.list.d" \
             "$apt/etc/apt.conf.d" "$apt/etc/preferences.d" "$apt/etc/trusted.gpg.d" "$apt/log"
    cp "$status_file" "$apt/status"
    printf 'deb [trusted=yes] http://127.0.0.1:%s/ %s main\n' "$port" bookworm "$port" bookworm-security \
        >"$apt/etc/sources.list"
    cat >"$apt/apt.conf" <<EOF
Dir::State "$apt/state";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Dir::Etc "$apt/etc";
Dir::Etc::main "/dev/null";
Dir::Etc::parts "$apt/etc/apt.conf.d";
Dir::Log "$apt/log";
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
APT::Sandbox::User "$(id -un)";
Acquire::Languages "none";
EOF
    status=0
    APT_CONFIG=$apt/apt.conf PATH=$work/bin:$PATH bash "$repo/tools/apt-install.sh" --simulate "$@" \
        >"$work/out" 2>"$work/err" || status=$?
}
expect() { # case-name what pattern file
    grep -q -- "$3" "$4" || failed "$1: $2 (no \"$3\" in $(basename "$4")): $(cat "$work/out" "$work/err")"
}
expect_not() {
    ! grep -q -- "$3" "$4" || failed "$1: $2 (\"$3\" in $(basename "$4"))"
}

none=$work/status-none
: >"$none"
security_amd64=$work/status-security-amd64
cat >"$security_amd64" <<EOF
Package: libdemo
Status: install ok installed
Architecture: amd64
Multi-Arch: same
Version: 1.1
Maintainer: Test <test@example.invalid>
Description: a package of the set-up's test mirror

EOF
security_i386=bookworm-security/main/binary-i386/Packages.gz
base_i386=bookworm/main/binary-i386/Packages.gz

lists_before=$(ls -l --time-style=full-iso /var/lib/apt/lists 2>/dev/null || true)

run_case none "$none" libdemo:amd64 libdemo:i386
c="whole mirror"
[ "$status" -eq 0 ] || failed "$c: exit status $status"
expect "$c" "installs both halves from the security suite" 'Inst libdemo (1.1 ' "$work/out"
expect "$c" "installs both halves from the security suite" 'Inst libdemo:i386 (1.1 ' "$work/out"
expect_not "$c" "leaves nothing out" 'leaving' "$work/out"
expect_not "$c" "tries once" 'try 2 of' "$work/out"

run_case "$security_i386" "$none" libdemo:amd64 libdemo:i386
c="short i386 index in the security suite"
[ "$status" -eq 0 ] || failed "$c: exit status $status"
expect "$c" "says which suite, which index and why" \
    "leaving bookworm-security out of this install: its index http://127.0.0.1:$port/dists/$security_i386 could not be fetched (File has unexpected size" \
    "$work/out"
expect "$c" "says what to run later" 'run "apt-get update && apt-get upgrade"' "$work/out"
expect "$c" "names the opt-out" 'TOVANREL_ALL_SUITES=1' "$work/out"
expect "$c" "takes the amd64 half from the base suite too" 'Inst libdemo (1.0 ' "$work/out"
expect "$c" "takes the i386 half from the base suite" 'Inst libdemo:i386 (1.0 ' "$work/out"
[ "$(grep -c '^setup.sh: leaving' "$work/out")" -eq 1 ] || failed "$c: the reason is not one line"

run_case "$base_i386" "$none" libdemo:amd64 libdemo:i386
c="short i386 index in the base suite"
[ "$status" -eq 1 ] || failed "$c: exit status $status, not 1"
expect "$c" "names the index" \
    "the package index of bookworm could not be fetched after 3 tries (http://127.0.0.1:$port/dists/$base_i386: File has unexpected size" \
    "$work/err"
expect_not "$c" "installs nothing" '^Inst' "$work/out"

TOVANREL_ALL_SUITES=1 run_case "$security_i386" "$none" libdemo:amd64 libdemo:i386
c="short security index with TOVANREL_ALL_SUITES=1"
[ "$status" -eq 1 ] || failed "$c: exit status $status, not 1"
expect "$c" "says the variable stopped it" 'TOVANREL_ALL_SUITES is set, so nothing was installed' "$work/err"
expect_not "$c" "installs nothing" '^Inst' "$work/out"

run_case "$security_i386" "$none" libdemo/bookworm-security
c="short security index, a package asked for from that suite"
[ "$status" -eq 1 ] || failed "$c: exit status $status, not 1"
expect "$c" "names the index" "the package index of bookworm-security could not be fetched" "$work/err"

run_case "$security_i386" "$security_amd64" libdemo:i386
c="short security index, the amd64 half installed at the security version"
[ "$status" -eq 1 ] || failed "$c: exit status $status, not 1"
expect "$c" "names the package that cannot be placed" \
    'apt-get cannot install libdemo:i386 without bookworm-security unless it removes libdemo; nothing was installed' "$work/err"
[ "$(grep -c '^setup.sh:' "$work/err")" -eq 1 ] || failed "$c: the stop is not one line"

[ "$lists_before" = "$(ls -l --time-style=full-iso /var/lib/apt/lists 2>/dev/null || true)" ] ||
    failed "the machine's own package lists changed"

[ "$failures" -eq 0 ] || exit 1
echo "apt-install decisions: all cases passed"
