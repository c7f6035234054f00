#!/usr/bin/env bash
# Reads the package lists and installs packages in one apt transaction, for
# tools/setup.sh. A mirror can lose an index and keep it lost for days: when
# every index that fails belongs to a suite the install can do without (an
# updates, security or backports suite not asked for by name), the install
# leaves that suite out for every architecture, so that the amd64 and i386
# halves of each library still come from the same indexes. The machine's
# sources, preferences and lists stay as they are: the transaction reads a
# private copy of the lists without that suite.
#
# usage: bash tools/apt-install.sh [--simulate] PACKAGE[/SUITE]...
#   --simulate              apt-get -s: print what would be installed
#   TOVANREL_ALL_SUITES=1   stop instead of leaving a suite out
# apt's own configuration (APT_CONFIG included) is honoured throughout.
set -euo pipefail

say() { echo "setup.sh: $*"; }
fail() { echo "setup.sh: $*" >&2; exit 1; }

simulate=()
if [ "${1:-}" = --simulate ]; then
    simulate=(-s)
    shift
fi
[ "$#" -gt 0 ] || fail "usage: apt-install.sh [--simulate] PACKAGE[/SUITE]..."
packages=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/apt.log

# Suites named in PACKAGE/SUITE cannot be left out.
needed=" "
for p in "${packages[@]}"; do
    case $p in */*) needed+="${p#*/} " ;; esac
done
optional_suite() {
    case $1 in *-updates | *-security | */updates | *-backports) ;; *) return 1 ;; esac
    [[ $needed != *" $1 "* ]]
}

# apt-get update, tried three times within half a minute: a mirror in the
# middle of a sync mends itself that fast, one that lost a file does not.
tries=3
for try in $(seq 1 "$tries"); do
    say "reading the package lists (apt-get update, try $try of $tries)"
    if apt-get update >"$log" 2>&1 && ! grep -q '^E: ' "$log"; then
        say "installing ${packages[*]}"
        if ! DEBIAN_FRONTEND=noninteractive apt-get "${simulate[@]}" install -y --no-install-recommends \
                "${packages[@]}" >"$log" 2>&1; then
            tail -n 20 "$log" >&2
            fail "apt-get could not install ${packages[*]}"
        fi
        [ "${#simulate[@]}" -eq 0 ] || cat "$log"
        exit 0
    fi
    [ "$try" -eq "$tries" ] || sleep $((try * 10))
done

# Which suite each failure belongs to: a fetched URL lies under the suite's
# base URI; other errors name the repository as "URI SUITE".
targets=$(apt-get indextargets --no-release-info --format '$(BASE_URI) $(RELEASE) $(REPO_URI)' | sort -u)
suite_of() {
    local line=$1 url base release repo
    url=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' <<<"$line")
    while read -r base release repo; do
        if [ -n "$url" ]; then
            [[ $url != "$base"* ]] || { echo "$release"; return; }
        elif [[ $line == *"${repo%/} $release "* ]]; then
            echo "$release"
            return
        fi
    done <<<"$targets"
}
left_out=" "
why=
while IFS= read -r line; do
    [[ $line != "E: Some index files failed to download."* ]] || continue
    # The index and apt's reason, without the mirror's address.
    line=$(sed -e 's/ *\[IP: [^]]*\]//' <<<"$line")
    url=$(sed -n 's/^E: Failed to fetch \([^ ]*\) .*/\1/p' <<<"$line")
    if [ -n "$url" ]; then
        reason=$(sed -e 's/^E: Failed to fetch [^ ]*  *//' <<<"$line")
        what="$url: $reason"
        because="its index $url could not be fetched ($reason)"
    else
        what=${line#E: }
        because="apt said: $what"
    fi
    suite=$(suite_of "$line")
    if [ -z "$suite" ]; then
        fail "apt-get update failed: $what; nothing was installed"
    elif ! optional_suite "$suite"; then
        fail "the package index of $suite could not be fetched after $tries tries ($what);" \
             "nothing was installed: run the set-up again later"
    elif [ -n "${TOVANREL_ALL_SUITES:-}" ]; then
        fail "the package index of $suite could not be fetched after $tries tries ($what);" \
             "TOVANREL_ALL_SUITES is set, so nothing was installed rather than install without $suite"
    fi
    [[ $left_out == *" $suite "* ]] || left_out+="$suite "
    why+="${why:+; }$because"
done < <(grep '^E: ' "$log")
if [ "$left_out" = " " ]; then
    tail -n 20 "$log" >&2
    fail "apt-get update failed; nothing was installed"
fi
left_out=${left_out# }
left_out=${left_out% }

# A private copy of the lists without the left-out suites' files: a list's
# file name is its suite's base URI, mangled, followed by the target's key.
eval "$(apt-config shell lists Dir::State::lists/d)"
prefixes=$(apt-get indextargets --no-release-info --format '$(RELEASE) $(FILENAME) $(METAKEY)' |
    while read -r release filename metakey; do
        [[ " $left_out " == *" $release "* ]] || continue
        name=${filename##*/}
        echo "${name%"${metakey//\//_}"}"
    done | sort -u)
mkdir -p "$work/lists/partial"
for file in "$lists"/*; do
    name=${file##*/}
    [ -f "$file" ] && [ "$name" != lock ] || continue
    while read -r prefix; do
        [ -z "$prefix" ] || [[ $name != "$prefix"* ]] || continue 2
    done <<<"$prefixes"
    ln "$file" "$work/lists/" 2>/dev/null || cp -p "$file" "$work/lists/"
done

say "leaving $left_out out of this install: $why; once the mirror is whole, run" \
    "\"apt-get update && apt-get upgrade\" to take its updates (TOVANREL_ALL_SUITES=1 stops instead)"
say "installing ${packages[*]} without $left_out"
private=(-o "Dir::State::Lists=$work/lists"
         -o "Dir::Cache::pkgcache=$work/pkgcache.bin" -o "Dir::Cache::srcpkgcache=$work/srcpkgcache.bin")
# --no-remove: apt may solve a version that only the left-out suite has (an
# amd64 library already installed from it, say) by removing that package.
if ! DEBIAN_FRONTEND=noninteractive apt-get "${private[@]}" "${simulate[@]}" install -y --no-install-recommends \
        --no-remove "${packages[@]}" >"$log" 2>&1; then
    # apt names the packages it cannot place as " name : Depends: ...", those
    # it does not know as "Unable to locate package name", and those it would
    # remove in an indented list.
    stuck=$(sed -n -e 's/^ \{1,\}\([^ ]\{1,\}\) : .*/\1/p' \
                   -e 's/^E: Unable to locate package \(.*\)/\1/p' "$log" | sort -u | tr '\n' ' ')
    removed=$(sed -n '/^The following packages will be REMOVED:/,/^[^ ]/s/^  \(.*\)/\1/p' "$log" | tr -s ' \n' ' ')
    grep -E '^ +[^ ]+ : |^E: ' "$log" >&2 || tail -n 20 "$log" >&2
    fail "apt-get cannot install ${stuck:-${packages[*]} }without $left_out${removed:+ unless it removes ${removed% }};" \
         "nothing was installed"
fi
[ "${#simulate[@]}" -eq 0 ] || cat "$log"
