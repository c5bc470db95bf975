#!/usr/bin/env bash
# The book benchmark: COUNT comic pages (bench/comic.h: 1200 x 1800, JPEG quality 90) made
# into a comic book by `panelle-cli build`, beside ImageMagick converting the same pages to
# PNG, one process per page as a user's script would, and zip packing them; then the same
# pages fitted to 176 wide (in colour, 256 colours, 16 greys) beside vipsthumbnail and
# ImageMagick shrinking while they decode.
#
#   bench/run-book-bench.sh [BUILD_DIR] [COUNT...]      (defaults: build, 10 100)
#   REPEAT=N  runs every measurement N times and keeps the fastest (default 3)
#
# Every run goes through /usr/bin/time: wall seconds, CPU seconds (user + system of the
# process and every child it waited for, which is what the machine's load cannot inflate
# much) and the peak resident set of the largest single process. Prints a Markdown table.
set -euo pipefail

BUILD=${1:-build}
shift || true
COUNTS=("${@:-10 100}")
read -r -a COUNTS <<<"${COUNTS[*]}"
REPEAT=${REPEAT:-3}
BIN=$(cd "$BUILD/bin" && pwd)
CONVERT=$(command -v convert-im6.q16 || command -v convert)
command -v zip >/dev/null || { echo "zip is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# measure NAME COMMAND...: the fastest of REPEAT runs, as "wall cpu maxrss_kb".
measure() {
    local name=$1 best="" wall user sys rss
    shift
    for ((r = 0; r < REPEAT; r++)); do
        /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" || {
            echo "$name failed:" >&2
            cat "$WORK/err" >&2
            exit 1
        }
        read -r wall user sys rss <"$WORK/time"
        if [ -z "$best" ] || awk -v a="$wall" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
            best="$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') $rss"
        fi
    done
    echo "$best"
}

# The ImageMagick path as a script would run it: convert every page, then zip the PNGs.
im_script() {
    local pages=$1 out=$2 limit=$3
    cat <<EOF
set -e
rm -rf '$out' && mkdir '$out' && cd '$out'
for f in '$pages'/page-*.jpg; do
    b=\$(basename "\$f" .jpg)
    '$CONVERT' $limit "\$f" "\$b.png"
done
zip -q book.zip page-*.png
EOF
}

# The same with the pages spread over every core (xargs -P), as a more patient user might.
im_parallel_script() {
    local pages=$1 out=$2
    cat <<EOF
set -e
rm -rf '$out' && mkdir '$out' && cd '$out'
ls '$pages'/page-*.jpg | xargs -P $(nproc) -I{} sh -c 'b=\$(basename {} .jpg); "$CONVERT" -limit thread 1 {} \$b.png'
zip -q book.zip page-*.png
EOF
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "load average before: $(load)"
echo

# One decoded page, and the builder's resident set with nothing to convert.
"$BIN/book-pages" "$WORK" 1
one=$(measure one-page "$BIN/panelle-cli" convert "$WORK/page-000.jpg" "$WORK/one.png")
empty=$(measure tiny-book "$BIN/panelle-cli" build --templates "$BIN/files" -o "$WORK/tiny.jar" \
    "$(dirname "$0")/../samples/page.bmp")
echo "one decoded page: 1200 x 1800 x 3 = 6480000 bytes (6.2 MiB)"
echo "panelle-cli convert of one page: peak ${one##* } KiB; build of a 176 x 208 page: peak ${empty##* } KiB"
echo

printf '| pages | path | wall s | CPU s | peak RSS KiB | archive bytes |\n|---|---|---|---|---|---|\n'
for count in "${COUNTS[@]}"; do
    pages="$WORK/pages-$count"
    mkdir -p "$pages"
    "$BIN/book-pages" "$pages" "$count"
    for threads in 1 default; do
        opt=()
        [ "$threads" = default ] || opt=(--threads "$threads")
        r=$(measure panelle "$BIN/panelle-cli" build --templates "$BIN/files" "${opt[@]}" -o "$WORK/book.jar" \
            "$pages"/page-*.jpg)
        read -r wall cpu rss <<<"$r"
        printf '| %s | panelle-cli build, %s thread(s) | %s | %s | %s | %s |\n' "$count" "$threads" "$wall" "$cpu" \
            "$rss" "$(stat -c %s "$WORK/book.jar")"
    done
    for limit in "" "-limit thread 1"; do
        im_script "$pages" "$WORK/im" "$limit" >"$WORK/im.sh"
        r=$(measure imagemagick bash "$WORK/im.sh")
        read -r wall cpu rss <<<"$r"
        printf '| %s | convert per page%s + zip | %s | %s | %s | %s |\n' "$count" "${limit:+ ($limit)}" "$wall" \
            "$cpu" "$rss" "$(stat -c %s "$WORK/im/book.zip")"
    done
    im_parallel_script "$pages" "$WORK/im" >"$WORK/imp.sh"
    r=$(measure imagemagick-parallel bash "$WORK/imp.sh")
    read -r wall cpu rss <<<"$r"
    printf '| %s | convert per page, xargs -P %s + zip | %s | %s | %s | %s |\n' "$count" "$(nproc)" "$wall" "$cpu" \
        "$rss" "$(stat -c %s "$WORK/im/book.zip")"
    # Pages fitted to 176 x 208 (176 wide), on one thread, beside the per-page tools that
    # shrink while they decode.
    for fit in "--fit width" "--fit width --colors 256" "--fit width --grey --colors 16 --dither"; do
        read -r -a fitopt <<<"$fit"
        r=$(measure panelle-fit "$BIN/panelle-cli" build --templates "$BIN/files" --threads 1 "${fitopt[@]}" \
            -o "$WORK/book.jar" "$pages"/page-*.jpg)
        read -r wall cpu rss <<<"$r"
        printf '| %s | panelle-cli build %s, 1 thread | %s | %s | %s | %s |\n' "$count" "$fit" "$wall" "$cpu" "$rss" \
            "$(stat -c %s "$WORK/book.jar")"
    done
    if command -v vipsthumbnail >/dev/null; then
        printf '%s\n' "set -e" "rm -rf '$WORK/im' && mkdir '$WORK/im' && cd '$WORK/im'" \
            "for f in '$pages'/page-*.jpg; do vipsthumbnail -s 176x -o \"\$(basename \"\$f\" .jpg).png\" \"\$f\"; done" \
            "zip -q book.zip page-*.png" >"$WORK/vips.sh"
        r=$(measure vips bash "$WORK/vips.sh")
        read -r wall cpu rss <<<"$r"
        printf '| %s | vipsthumbnail -s 176x per page + zip | %s | %s | %s | %s |\n' "$count" "$wall" "$cpu" "$rss" \
            "$(stat -c %s "$WORK/im/book.zip")"
    fi
    printf '%s\n' "set -e" "rm -rf '$WORK/im' && mkdir '$WORK/im' && cd '$WORK/im'" \
        "for f in '$pages'/page-*.jpg; do '$CONVERT' -define jpeg:size=352x528 \"\$f\" -resize 176x \"\$(basename \"\$f\" .jpg).png\"; done" \
        "zip -q book.zip page-*.png" >"$WORK/imfit.sh"
    r=$(measure imagemagick-fit bash "$WORK/imfit.sh")
    read -r wall cpu rss <<<"$r"
    printf '| %s | convert -define jpeg:size=352x528 -resize 176x per page + zip | %s | %s | %s | %s |\n' "$count" \
        "$wall" "$cpu" "$rss" "$(stat -c %s "$WORK/im/book.zip")"
    rm -rf "$pages" "$WORK/im"
done
echo
echo "load average after: $(load)"
