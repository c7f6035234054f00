#!/usr/bin/env bash
# Checks an animated GIF of the reference host with ImageMagick, a decoder
# that shares no code with it. Frames are checked as a viewer shows them
# (each drawn over the one before). With REFERENCE, the GIF must show, frame
# for frame, exactly the pixels of REFERENCE and be at most MAX_BYTES long.
# usage: check_gif.sh FILE FRAMES WIDTH HEIGHT DELAY [comment|no-comment [REFERENCE MAX_BYTES]]
set -euo pipefail
file=$1 frames=$2 width=$3 height=$4 delay=$5 comment=${6:-comment} reference=${7:-} max_bytes=${8:-}
fail() { echo "FAIL: $*"; exit 1; }

[ -f "$file" ] || fail "$file is missing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shown=$work/shown.miff
convert "$file" -coalesce "$shown"

shape=$(identify -format '%W %H %T\n' "$file")
count=$(printf '%s\n' "$shape" | grep -c .)
[ "$count" -eq "$frames" ] || fail "$count frames, wanted $frames"
odd=$(printf '%s\n' "$shape" | grep -vx "$width $height $delay" | head -1 || true)
[ -z "$odd" ] || fail "a frame reads '$odd' (width height delay), wanted '$width $height $delay'"
odd=$(identify -format '%w %h\n' "$shown" | grep -vx "$width $height" | head -1 || true)
[ -z "$odd" ] || fail "a frame shows '$odd' (width height), wanted '$width $height'"

iterations=$(identify -verbose "$file[0]" | sed -n 's/^ *Iterations: *//p' | head -1)
[ "$iterations" = 0 ] || fail "loops $iterations times, wanted for ever (0)"

text=$(identify -format '%c' "$file[0]")
if [ "$comment" = no-comment ]; then
    [ -z "$text" ] || fail "a test build carries a comment: $text"
else
    printf '%s' "$text" | grep -q 'Velmora Leader Plugin' || fail "no credit comment, got: $text"
fi

# Every pixel is a grey; the frame has dark and light parts (at least 80
# levels apart) and antialiased steps between them.
for index in 0 $((frames / 2)) $((frames - 1)); do
    convert "$shown[$index]" -type TrueColor -depth 8 txt:- | sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | awk -v i="$index" '
        {
            if ($1 != $2 || $2 != $3) { print "FAIL: frame " i " has a colour pixel: " $0; bad = 1; exit 1 }
            levels[$1] = 1
            if (n == 0 || $1 + 0 < low) low = $1 + 0
            if (n == 0 || $1 + 0 > high) high = $1 + 0
            n = 1
        }
        END {
            if (bad) exit 1
            count = 0; for (l in levels) count++
            if (high - low < 80 || count < 8) { print "FAIL: frame " i " has " count " grey levels from " low " to " high; exit 1 }
        }' || exit 1
done

# A countdown: the sweep moves on every frame, so frames are all different.
distinct=$(identify -format '%#\n' "$shown" | sort -u | grep -c .)
[ "$distinct" -ge $((frames * 9 / 10)) ] || fail "only $distinct distinct frames of $frames"

if [ -n "$reference" ]; then
    bytes=$(stat -c %s "$file")
    [ "$bytes" -le "$max_bytes" ] || fail "$bytes bytes, wanted at most $max_bytes"
    convert "$shown" -depth 8 "rgb:$work/shown.rgb"
    convert "$reference" -coalesce -depth 8 "rgb:$work/reference.rgb"
    if ! difference=$(cmp "$work/shown.rgb" "$work/reference.rgb" 2>&1); then
        offset=$(printf '%s\n' "$difference" | sed -n 's/.*byte \([0-9]*\).*/\1/p')
        [ -n "$offset" ] || fail "pixels differ from $reference: $difference"
        pixel=$(((offset - 1) / 3))
        fail "frame $((pixel / (width * height))) differs from $reference at x $((pixel % width))," \
             "y $((pixel / width % height))"
    fi
    echo "same pixels as $(basename "$reference") in $bytes bytes of its $(stat -c %s "$reference")"
fi
echo "PASS: $file: $frames frames of $width x $height, delay $delay, $distinct distinct"
