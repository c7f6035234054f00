#!/usr/bin/env bash
# Runs the reference host under Wine and checks its exit status and output.
# usage: expect_host.sh HOST_EXE STATUS PATTERN [host arguments...]
# STATUS is a number or "nonzero"; PATTERN is an extended regular expression
# that one line of the host's output (stdout or stderr) must match.
set -u
host=$1 status=$2 pattern=$3
shift 3
output=$(wine "$host" "$@" 2>&1 </dev/null)
actual=$?
# The host's progress line rewrites itself with carriage returns.
output=$(printf '%s\n' "$output" | tr '\r' '\n')
printf '%s\n' "$output"
if [ "$status" = nonzero ]; then
    [ "$actual" -ne 0 ] || { echo "FAIL: exit status 0, wanted non-zero"; exit 1; }
elif [ "$actual" -ne "$status" ]; then
    echo "FAIL: exit status $actual, wanted $status"
    exit 1
fi
if ! printf '%s\n' "$output" | grep -Eq -- "$pattern"; then
    echo "FAIL: no line matches: $pattern"
    exit 1
fi
# A refused command line or plug-in is said in one line, not a page.
if [ "$actual" -eq 2 ] && [ "$(printf '%s\n' "$output" | grep -c .)" -ne 1 ]; then
    echo "FAIL: a bad command line should give exactly one line"
    exit 1
fi
echo "PASS: exit status $actual"
