#!/usr/bin/env bash
# Runs the reference host under Wine and checks its exit status and output.
# usage: expect_host.sh [--one-line] HOST_EXE STATUS PATTERN [host arguments...]
# STATUS is a number or "nonzero"; PATTERN is an extended regular expression
# that one line of the host's output (stdout or stderr) must match. With
# --one-line, stderr must hold exactly that one line: refused input is said
# once and clearly, not as a page or a crash report.
set -u
one_line=no
if [ "$1" = --one-line ]; then one_line=yes; shift; fi
host=$1 status=$2 pattern=$3
shift 3
out=$(mktemp) errors=$(mktemp)
trap 'rm -f "$out" "$errors"' EXIT
wine "$host" "$@" >"$out" 2>"$errors" </dev/null
actual=$?
# The host's progress line rewrites itself with carriage returns.
output=$(tr '\r' '\n' <"$out" | grep .)
stderr=$(tr '\r' '\n' <"$errors" | grep .)
printf 'stdout:\n%s\nstderr:\n%s\n' "$output" "$stderr"
if [ "$status" = nonzero ]; then
    [ "$actual" -ne 0 ] || { echo "FAIL: exit status 0, wanted non-zero"; exit 1; }
elif [ "$actual" -ne "$status" ]; then
    echo "FAIL: exit status $actual, wanted $status"
    exit 1
fi
if ! printf '%s\n%s\n' "$output" "$stderr" | grep -Eq -- "$pattern"; then
    echo "FAIL: no line matches: $pattern"
    exit 1
fi
if [ "$one_line" = yes ]; then
    lines=$(printf '%s\n' "$stderr" | grep -c .)
    [ "$lines" -eq 1 ] || { echo "FAIL: $lines lines on stderr, wanted 1"; exit 1; }
    printf '%s\n' "$stderr" | grep -Eq -- "$pattern" || { echo "FAIL: the line on stderr is not the message"; exit 1; }
fi
echo "PASS: exit status $actual"
