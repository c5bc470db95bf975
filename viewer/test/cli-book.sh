#!/usr/bin/env bash
# A book made by panelle-cli build, with the templates it finds beside itself (build/bin/files),
# read on the harness's phone. Exits 77 (skipped) while the builder cannot write PNG pages.
# Usage: cli-book.sh PANELLE-CLI JAVA HARNESS-FOLDER OUTPUT-FOLDER MODE SOURCE-FOLDER
# MODE:
#   flow:     tall pages fitted to the screen's width with --reader flow, read by FlowTest
#   pictures: three pages drawn by ImageMagick and saved as BMP, with descriptions; the pages
#             inside the JAR must hold the same pixels as the pictures
#   sample:   the book `make run` builds from samples/
#   fitted:   pages fitted to the screen's width, a double page split: none wider than the screen
#   volumes:  forty fitted pages with a JAR limit of 64 KB: volumes of at most 65536 bytes with
#             distinct names, each read to its last page
#   heap:     pages fitted for 176x208 with a heap of 200 KB, a webtoon page of 800 x 12000 among
#             them, read on a phone of that heap: every page and piece fits and is shown
#   heap-own: the same pictures at their own size on the same phone: the pages too large for
#             it show the memory message instead
set -euo pipefail
cli="$1" java="$2" harness="$3" out="$4" mode="$5" source="$6"
CONVERT="${CONVERT:-convert}"
rm -rf "$out" && mkdir -p "$out"

if ! "$cli" convert "$source/samples/page.bmp" "$out/probe.png" 2> "$out/probe.log"; then
    if grep -q "not available" "$out/probe.log"; then
        echo "skipped: $(cat "$out/probe.log")"
        exit 77
    fi
    cat "$out/probe.log"
    exit 1
fi

# Comic-like pages: white, two columns of three framed panels, each shaded top to bottom.
comic() {
    local file="$1" w="$2" h="$3" seed="$4"
    local pw=$((w / 2)) ph=$((h / 3)) draw=""
    for r in 0 1 2; do
        for c in 0 1; do
            draw="$draw rectangle $((c * pw + 8)),$((r * ph + 8)) $((c * pw + pw - 8)),$((r * ph + ph - 8))"
        done
    done
    "$CONVERT" -size "${w}x${h}" "gradient:gray$((90 - seed % 40))-white" -fill none -stroke black -strokewidth 10 \
        -draw "$draw" -fill black -stroke none -pointsize $((h / 30)) -annotate +60+$((h / 6)) "PAGE $seed" "$file"
}

# heap-check BOOK LIMIT: how many pages of the book decode (w x h x 4) larger than LIMIT bytes.
heap_over() {
    local jar="$1" limit="$2" n=0 i=0
    while unzip -p "$jar" "$i.png" > "$out/check.png" 2> /dev/null && [ -s "$out/check.png" ]; do
        set -- $("$CONVERT" "$out/check.png" -format '%w %h' info:)
        [ $(($1 * $2 * 4)) -le "$limit" ] || n=$((n + 1))
        i=$((i + 1))
    done
    echo "$n"
}

run_viewer() {
    "$java" -XX:+UseSerialGC -Djava.awt.headless=true -cp "$harness" ViewerTest "$@"
}

if [ "$mode" = volumes ]; then
    pages=()
    for i in $(seq 0 39); do
        comic "$out/p$i.jpg" 1200 $((1800 + i)) "$i"
        pages+=("$out/p$i.jpg")
    done
    "$cli" build -o "$out/vol.jar" --name "分卷" --fit width --jar-limit 64 "${pages[@]}" 2> "$out/build.log" \
        || { cat "$out/build.log"; exit 1; }
    volumes=("$out"/vol-*.jar)
    [ "${#volumes[@]}" -ge 2 ] || { cat "$out/build.log"; echo "FAIL: not cut into volumes"; exit 1; }
    total=0
    names=""
    status=0
    for k in $(seq 1 "${#volumes[@]}"); do
        jar="$out/vol-$k.jar"
        size=$(stat -c %s "$jar")
        [ "$size" -le 65536 ] || { echo "FAIL: $jar is $size bytes"; exit 1; }
        grep -q "^MIDlet-Jar-Size: $size"$'\r'"\$" "$out/vol-$k.jad" || { echo "FAIL: vol-$k.jad does not give $size"; exit 1; }
        name=$(grep '^MIDlet-Name: ' "$out/vol-$k.jad" | tr -d '\r')
        [ "$name" = "MIDlet-Name: 分卷 $k/${#volumes[@]}" ] || { echo "FAIL: $name"; exit 1; }
        names="$names$name"$'\n'
        count=$(unzip -p "$jar" desc.txt | iconv -f UTF-16LE -t UTF-8 | tr -d '\r' | sed -n 's/^piccount://p')
        total=$((total + count))
        run_viewer "$jar" "$out/screens-$k" || status=1
    done
    [ "$total" -eq 40 ] || { echo "FAIL: the volumes hold $total pages, not 40"; exit 1; }
    [ "$(printf '%s' "$names" | sort -u | wc -l)" -eq "${#volumes[@]}" ] || { echo "FAIL: names repeat"; exit 1; }
    exit $status
elif [ "$mode" = heap ] || [ "$mode" = heap-own ]; then
    comic "$out/p0.jpg" 1200 1800 0
    comic "$out/p1.jpg" 1000 1600 1
    "$CONVERT" -size 800x12000 gradient:white-gray40 -fill black -pointsize 60 \
        -annotate +100+3000 'WEBTOON' -annotate +100+9000 'STRIP' "$out/webtoon.png"
    comic "$out/p2.png" 176 208 2
    jar="$out/heap-$mode.jar"
    fit=(--fit width)
    [ "$mode" = heap ] || fit=(--fit none)
    "$cli" build -o "$jar" --profile 176x208 --heap 200 "${fit[@]}" \
        "$out/p0.jpg" "$out/webtoon.png" "$out/p1.jpg" "$out/p2.png" 2> "$out/build.log" || { cat "$out/build.log"; exit 1; }
    over=$(heap_over "$jar" 204800)
    if [ "$mode" = heap ]; then
        [ "$over" -eq 0 ] || { echo "FAIL: $over pages decode larger than 200 KB"; exit 1; }
        ! grep -q 'larger than the heap' "$out/build.log" || { cat "$out/build.log"; echo "FAIL: a heap warning"; exit 1; }
        [ "$(unzip -l "$jar" | grep -c '[0-9]\.png$')" -gt 6 ] || { echo "FAIL: the webtoon page was not cut"; exit 1; }
    else
        [ "$over" -ge 3 ] || { echo "FAIL: only $over pages too large at their own size"; exit 1; }
        grep -q "^3 pages decode larger than the heap of 200 KB: page 1 (1200x1800" "$out/build.log" \
            || { cat "$out/build.log"; echo "FAIL: no heap warning"; exit 1; }
    fi
    # the harness's phone has that heap: a page larger than it shows the memory message
    run_viewer "$jar" "$out/screens" 204800
    exit $?
elif [ "$mode" = fitted ]; then
    # Pages fitted to the screen's width: a tall page, a double page split right half first,
    # and a page narrower than the screen that stays as it is.
    jar="$out/fitted-book.jar"
    "$CONVERT" -size 1200x1800 gradient:navy-orange -fill black -draw 'rectangle 0,0 300,300' "$out/tall.jpg"
    "$CONVERT" -size 1600x1000 gradient:white-darkgreen "$out/double.png"
    "$CONVERT" rose: -rotate 90 "BMP3:$out/small.bmp"
    printf '%s\n' '竖页' '跨页' '小图' > "$out/descriptions.txt"
    "$cli" build -o "$jar" --name "适应屏宽" --fit width --split rtl --colors 256 \
        --descriptions "$out/descriptions.txt" "$out/tall.jpg" "$out/double.png" "$out/small.bmp" 2> "$out/build.log"
    grep -q '^fitted-book.jar: 4 pages, ' "$out/build.log" || { cat "$out/build.log"; echo "FAIL: no summary of 4 pages"; exit 1; }
    for i in 0 1 2 3; do
        unzip -p "$jar" "$i.png" > "$out/page-$i.png"
        w=$("$CONVERT" "$out/page-$i.png" -format %w info:)
        [ "$w" -le 176 ] || { echo "FAIL: page $i is $w wide, more than the screen"; exit 1; }
    done
    [ "$("$CONVERT" "$out/page-3.png" -format %wx%h info:)" = 46x70 ] || { echo "FAIL: the small page was resized"; exit 1; }
elif [ "$mode" = flow ]; then
    jar="$out/flow-book.jar"
    "$CONVERT" -size 600x1500 gradient:white-navy -fill red -draw 'rectangle 0,0 599,20' "$out/strip1.png"
    "$CONVERT" rose: "BMP3:$out/small.bmp"
    "$CONVERT" -size 900x2000 gradient:yellow-darkgreen -fill black -draw 'circle 450,1000 450,1300' "$out/strip2.jpg"
    "$cli" build -o "$jar" --name "连续阅读" --fit width --reader flow "$out/strip1.png" "$out/small.bmp" "$out/strip2.jpg"
    unzip -p "$jar" a.class | cmp - "$source/files/flow/a.class" || { echo "FAIL: the book does not carry the flowing reader"; exit 1; }
    [ -f "${jar%.jar}.jad" ] || { echo "FAIL: no JAD beside $jar"; exit 1; }
    exec "$java" -XX:+UseSerialGC -Djava.awt.headless=true -cp "$harness" FlowTest "$jar" "$out/screens"
elif [ "$mode" = sample ]; then
    jar="$out/sample-book.jar"
    "$cli" build -o "$jar" --name "Panelle sample" --descriptions "$source/samples/descriptions.txt" "$source"/samples/page*.*
else
    jar="$out/cli-book.jar"
    "$CONVERT" rose: -scale 200% "BMP3:$out/p0.bmp"
    "$CONVERT" logo: -colors 200 -type Palette "BMP3:$out/p1.bmp"
    "$CONVERT" wizard: -resize 300x400 "BMP3:$out/p2.bmp"
    printf '%s\n' '第一页：玫瑰' 'A page larger than the screen' '' > "$out/descriptions.txt"
    "$cli" build -o "$jar" --name "命令行漫画" --author "Kavoo网" --descriptions "$out/descriptions.txt" \
        "$out/p0.bmp" "$out/p1.bmp" "$out/p2.bmp"
    for i in 0 1 2; do
        unzip -p "$jar" "$i.png" > "$out/page-$i.png"
        if ! cmp <("$CONVERT" "$out/p$i.bmp" -depth 8 rgb:-) <("$CONVERT" "$out/page-$i.png" -depth 8 rgb:-) > /dev/null; then
            echo "FAIL: page $i in the book does not hold the pixels of p$i.bmp"
            exit 1
        fi
    done
fi
[ -f "${jar%.jar}.jad" ] || { echo "FAIL: no JAD beside $jar"; exit 1; }
"$java" -XX:+UseSerialGC -Djava.awt.headless=true -cp "$harness" ViewerTest "$jar" "$out/screens"
