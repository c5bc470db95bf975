#!/usr/bin/env bash
# A book made by panelle-cli build, with the templates it finds beside itself (build/bin/files),
# read on the harness's phone. Exits 77 (skipped) while the builder cannot write PNG pages.
# Usage: cli-book.sh PANELLE-CLI JAVA HARNESS-FOLDER OUTPUT-FOLDER pictures|sample|fitted|flow SOURCE-FOLDER
#   pictures: three pages drawn by ImageMagick and saved as BMP, with descriptions; the pages
#             inside the JAR must hold the same pixels as the pictures
#   sample:   the book `make run` builds from samples/
#   fitted:   pages fitted to the screen's width, a double page split: none wider than the screen
#   flow:     tall pages fitted to the screen's width with --reader flow, read by FlowTest
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

if [ "$mode" = fitted ]; then
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
