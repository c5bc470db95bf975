#!/usr/bin/env bash
# The benchmark book (COUNT comic pages of bench/comic.h, 1200 x 1800 JPEG) made for every
# phone profile: fitted to the profile's width, in colour and in 16 dithered greys, within
# its heap and JAR limit. Prints a Markdown table: pages as written (tall pages cut to fit the
# heap), volumes, the largest volume and all volumes' bytes.
#
#   bench/run-profile-bench.sh [BUILD_DIR] [COUNT]      (defaults: build, 100)
set -euo pipefail

BUILD=${1:-build}
COUNT=${2:-100}
BIN=$(cd "$BUILD/bin" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BIN/book-pages" "$WORK" "$COUNT"
# the profiles' names, as the usage text lists them
profiles=$("$BIN/panelle-cli" build --help | sed -n 's/^ *profiles: \(.*\)\.$/\1/p' | tr -d ',')

echo "| profile | pages | page size | volumes | largest volume bytes | all bytes |"
echo "|---|--:|---|--:|--:|--:|"
for p in $profiles; do
    for colours in colour grey16; do
        opts=(--fit width)
        [ "$colours" = colour ] || opts+=(--grey --colors 16 --dither)
        rm -rf "$WORK/out" && mkdir "$WORK/out"
        "$BIN/panelle-cli" build -o "$WORK/out/book" --profile "$p" "${opts[@]}" "$WORK"/page-*.jpg \
            >/dev/null 2>"$WORK/log" || { cat "$WORK/log" >&2; echo "| $p | | | $colours | failed | | | |"; continue; }
        pages=$(sed -n 's/^[^ ]*\.jar: \([0-9]*\) pages.*/\1/p' "$WORK/log" | awk '{ s += $1 } END { print s }')
        volumes=$(grep -c '^[^ ]*\.jar: [0-9]* pages' "$WORK/log")
        largest=$(sed -n 's/^[^ ]*\.jar: [0-9]* pages, \([0-9]*\) bytes.*/\1/p' "$WORK/log" | sort -n | tail -1)
        all=$(sed -n 's/^[^ ]*\.jar: [0-9]* pages, \([0-9]*\) bytes.*/\1/p' "$WORK/log" | awk '{ s += $1 } END { print s }')
        size=$(sed -n 's/.*largest page \([0-9x]*\)$/\1/p' "$WORK/log" | sort -u | paste -sd' ')
        echo "| $p, $colours | $pages | $size | $volumes | $largest | $all |"
    done
done
