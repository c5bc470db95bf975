#!/usr/bin/env bash
# Assembles the harness's test books the way the builder lays a book out (page PNGs, the
# two classes, logo, icon, desc.txt in UTF-16LE with BOM and CR LF lines, the manifest, in
# the builder's entry order), from pictures drawn by ImageMagick's built-in images. Every
# page gets a one-pixel line of its own colour along each edge (red top, blue bottom, green
# left, yellow right) so that a screen shifted by a pixel cannot match it.
# Usage: make-books.sh OUTPUT-FOLDER TEMPLATE-FOLDER
#   book.jar   four pages: smaller than the screen, larger both ways (palette PNG), taller, wider
#   short.jar  "piccount:3" but a page line for page 0 only
#   broken.jar "piccount:4", page 1 missing from the archive, page 2 not a PNG
#   odd.jar    desc.txt with LF-only lines and "piccount:" unreadable: the pages are found in the archive
#   heap.jar   two pages that each fit a 700000-byte heap but not together, one that never fits
# and, with the flowing reader's classes from TEMPLATE-FOLDER/flow:
#   flow.jar   a page as wide as the screen and taller, a small one, one missing, one larger both
#              ways, one as wide as the screen and taller still; neighbours 3 and 4 do not fit a
#              700000-byte heap together
#   volume.jar the first of three volumes, its name too long for two title lines
set -euo pipefail
out="$1"
templates="$2"
CONVERT="${CONVERT:-convert}"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# page SOURCE OUTPUT [extra convert options...]: an ImageMagick picture with coloured edges.
page() {
    local source="$1" output="$2"
    shift 2
    "$CONVERT" "$source" "$@" -background red -gravity north -splice 0x1 -background blue -gravity south -splice 0x1 \
        -background lime -gravity west -splice 1x0 -background yellow -gravity east -splice 1x0 +gravity \
        -strip -define png:exclude-chunks=date,time "$output"
}

# desc FILE LINE...: UTF-16LE text with its byte-order mark and CR LF after every line.
desc() {
    local file="$1"
    shift
    { printf '\xff\xfe'; printf '%s\r\n' "$@" | iconv -f UTF-8 -t UTF-16LE; } > "$file"
}

# jar NAME BOOKNAME PAGE-FILES...: the archive of a staged folder, with the classes in $classes.
classes="$templates"
jar() {
    local name="$1" bookname="$2"
    shift 2
    local stage="$work/$name"
    mkdir -p "$stage/META-INF"
    cp "$classes/a.class" "$classes/GameMidlet.class" "$templates/logo1.png" "$templates/icon.png" "$stage/"
    printf '%s\r\n' 'Manifest-Version: 1.0' 'MicroEdition-Configuration: CLDC-1.0' "MIDlet-Name: $bookname" \
        'MIDlet-Vendor: Kavoo网' 'MIDlet-Icon: /icon.png' "MIDlet-1: $bookname,/icon.png, GameMidlet" \
        'MIDlet-Version: 1.0' 'MicroEdition-Profile: MIDP-1.0' > "$stage/META-INF/MANIFEST.MF"
    rm -f "$out/$name.jar"
    (cd "$stage" && zip -X -q -D "$out/$name.jar" "$@" a.class GameMidlet.class logo1.png icon.png desc.txt META-INF/MANIFEST.MF)
}

s="$work/book"; mkdir -p "$s"
page rose: "$s/0.png" -scale 200%
page logo: "PNG8:$s/1.png"
page wizard: "PNG24:$s/2.png" -resize 300x400
page netscape: "PNG24:$s/3.png"
desc "$s/desc.txt" "bookname:测试漫画" "piccount:4" "author:Kavoo网" \
    "0:第一页：玫瑰" "1:Logo, wider and taller than the screen" "2:" "3:宽页"
jar book "测试漫画" 0.png 1.png 2.png 3.png

s="$work/short"; mkdir -p "$s"
page granite: "$s/0.png"
page rose: "$s/1.png" -scale 300%
page netscape: "$s/2.png" -flop
desc "$s/desc.txt" "bookname:Short" "piccount:3" "author:" "0:only this page is listed"
jar short "Short" 0.png 1.png 2.png

s="$work/broken"; mkdir -p "$s"
page rose: "$s/0.png"
printf 'this is not a picture\n' > "$s/2.png"
page granite: "$s/3.png" -negate
desc "$s/desc.txt" "bookname:Broken" "piccount:4" "author:nobody" "0:ok" "1:missing" "2:damaged" "3:ok again"
jar broken "Broken" 0.png 2.png 3.png

s="$work/odd"; mkdir -p "$s"
page granite: "$s/0.png" -rotate 90
page rose: "$s/1.png" -flip
{ printf '\xff\xfe'; printf 'bookname:Odd\npiccount:many\nauthor:LF\n0:lines end in LF only\n' | iconv -f UTF-8 -t UTF-16LE; } > "$s/desc.txt"
jar odd "Odd" 0.png 1.png

s="$work/heap"; mkdir -p "$s"
page logo: "$s/0.png" -resize '298x398!'
page wizard: "$s/1.png" -resize '298x398!'
page logo: "$s/2.png" -resize '998x998!'
page rose: "$s/3.png"
desc "$s/desc.txt" "bookname:Heap" "piccount:4" "author:" "0:" "1:" "2:too large" "3:"
jar heap "Heap" 0.png 1.png 2.png 3.png

classes="$templates/flow"
s="$work/flow"; mkdir -p "$s"
page wizard: "$s/0.png" -resize '174x498!'
page rose: "$s/1.png"
page logo: "PNG8:$s/3.png" -resize '298x398!'
page granite: "$s/4.png" -scale '174x598!'
desc "$s/desc.txt" "bookname:流动漫画" "piccount:5" "author:Kavoo网" \
    "0:一直往下" "1:小图" "2:缺页" "3:又宽又高" "4:最后一页"
jar flow "流动漫画" 0.png 1.png 3.png 4.png

s="$work/volume"; mkdir -p "$s"
page rose: "$s/0.png" -scale '174x300!'
page netscape: "$s/1.png"
desc "$s/desc.txt" "bookname:一部名字很长很长很长很长很长很长很长的连载漫画 1/3" "piccount:2" "author:Kavoo网" "0:" "1:"
jar volume "一部名字很长很长很长很长很长很长很长的连载漫画 1/3" 0.png 1.png
