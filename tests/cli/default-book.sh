#!/usr/bin/env bash
# Builds the same book with default settings from pictures of fourteen formats and lists
# what the JAR and JAD hold: every entry in archive order with its method, sizes and CRC,
# then the JAD's lines. Two builders that write the same book give the same listing.
#
#   default-book.sh PANELLE-CLI [TEMPLATES]             print the listing
#   default-book.sh --check PANELLE-CLI REFERENCE       compare with a listing made earlier
set -euo pipefail

check=
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
cli=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

data=$root/tests/data
pictures=(
  "$root/samples/page.bmp" "$data/bmp/im-bmp3-24bit.bmp" "$data/bmp/im-bmp3-8bit.bmp"
  "$data/gif/im-interlaced.gif" "$data/png/im-dpi72.png" "$data/tif/im-bilevel-g4.tif"
  "$data/pcx/im-8bit.pcx" "$data/pcx/ppmtopcx-24bit.pcx" "$data/tga/im-24-bl.tga"
  "$data/tga/im-8-mapped-tl-rle.tga" "$data/ico/im-8bit.ico" "$data/jas/im-rgb.ras"
  "$data/wbmp/pbmtowbmp-small.wbmp" "$data/wmf/ink-scene.wmf")
# Descriptions for the first four pages: Chinese text, a comma, an empty line.
printf '第一页\n第二页, comma\n\nlast\n' >"$work/desc.txt"

args=(build -o "$work/book.jar" --name 测试书 --author Tester --price 2
  --descriptions "$work/desc.txt" --threads 1)
if [ -z "$check" ] && [ $# -ge 2 ]; then
  args+=(--templates "$2")
fi
# The settings file beside the builder must not change the book: run from a private home.
(cd "$work" && HOME=$work XDG_CONFIG_HOME=$work "$cli" "${args[@]}" "${pictures[@]}") \
  >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }

list() {
  echo "# entries: method size compressed crc32 name"
  unzip -v "$work/book.jar" | awk 'NF == 8 && $1 ~ /^[0-9]+$/ && $4 ~ /%$/ {print $2, $1, $3, $7, $8}'
  echo "# book.jad"
  cat "$work/book.jad"
}

if [ -n "$check" ]; then
  if diff -u "$2" <(list); then
    echo "the default book is entry for entry and byte for byte the reference book"
  else
    echo "the default book differs from the reference (lines with - are the reference)" >&2
    exit 1
  fi
else
  list
fi
