#!/usr/bin/env bash
# Runs the reference host under Wine and checks its exit status and output.
# usage: expect_host.sh [--one-line] HOST_EXE STATUS PATTERN [--and PATTERN]...
#                       [--progress TOTAL] [host arguments...]
# STATUS is a number or "nonzero"; each PATTERN is an extended regular
# expression that a line of the host's output (stdout or stderr) must match.
# With --progress, the progress lines must be exactly those of a build of
# TOTAL frames: "frame 60 of TOTAL", "frame 120 of TOTAL", ... "frame TOTAL of
# TOTAL", one per number counted down (60 frames each).
# With --one-line, stderr must show exactly one line besides the progress
# lines ("frame 60 of 600", one per number, since stderr is a file here), the
# first PATTERN's: a failure is said once and clearly, not as a page or a
# crash report.
set -u
one_line=no
if [ "$1" = --one-line ]; then one_line=yes; shift; fi
host=$1 status=$2 patterns=("$3") progress_total=
shift 3
while :; do
    case "${1:-}" in
    --and) patterns+=("$2"); shift 2 ;;
    --progress) progress_total=$2; shift 2 ;;
    *) break ;;
    esac
done
out=$(mktemp) errors=$(mktemp)
trap 'rm -f "$out" "$errors"' EXIT
wine "$host" "$@" >"$out" 2>"$errors" </dev/null
actual=$?
# Lines end as a Windows program ends them, with CR LF.
output=$(sed 's/\r$//' "$out" | grep .)
stderr=$(sed 's/\r$//' "$errors" | grep .)
progress='^(test )?frame [0-9]+( of [0-9]+)?$'
shown=$(printf '%s\n' "$stderr" | grep -Ev "$progress")
printf 'stdout:\n%s\nstderr:\n%s\n' "$output" "$stderr"
if [ "$status" = nonzero ]; then
    [ "$actual" -ne 0 ] || { echo "FAIL: exit status 0, wanted non-zero"; exit 1; }
elif [ "$actual" -ne "$status" ]; then
    echo "FAIL: exit status $actual, wanted $status"
    exit 1
fi
for pattern in "${patterns[@]}"; do
    if ! printf '%s\n%s\n' "$output" "$stderr" | grep -Eq -- "$pattern"; then
        echo "FAIL: no line matches: $pattern"
        exit 1
    fi
done
if [ -n "$progress_total" ]; then
    wanted=$(for ((n = 60; n <= progress_total; n += 60)); do echo "frame $n of $progress_total"; done)
    got=$(printf '%s\n' "$stderr" | grep -E "$progress")
    [ "$got" = "$wanted" ] || { printf 'FAIL: the progress lines are not these:\n%s\n' "$wanted"; exit 1; }
fi
if [ "$one_line" = yes ]; then
    lines=$(printf '%s\n' "$shown" | grep -c .)
    [ "$lines" -eq 1 ] || { echo "FAIL: $lines lines on stderr, wanted 1"; exit 1; }
    printf '%s\n' "$shown" | grep -Eq -- "${patterns[0]}" || { echo "FAIL: the line on stderr is not the message"; exit 1; }
fi
echo "PASS: exit status $actual"
