#!/usr/bin/env bash
# Writes the two text templates of files/ for an empty book: desc.txt (UTF-16LE after the
# byte-order mark FF FE, CR LF lines, no page lines) and META-INF/MANIFEST.MF (the builder's
# eight lines with an empty book name, CR LF). A generation replaces both; they exist because
# the builder copies every template before it writes the book's own.
# Usage: viewer/make-templates.sh [OUTPUT-FOLDER]   (default: files/ at the top of the repository)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../files}"
mkdir -p "$out/META-INF"

{ printf '\xff\xfe'; printf 'bookname:\r\npiccount:0\r\nauthor:\r\n' | iconv -f UTF-8 -t UTF-16LE; } > "$out/desc.txt"

printf '%s\r\n' \
    'Manifest-Version: 1.0' \
    'MicroEdition-Configuration: CLDC-1.0' \
    'MIDlet-Name: ' \
    'MIDlet-Vendor: Kavoo网' \
    'MIDlet-Icon: /icon.png' \
    'MIDlet-1: ,/icon.png, GameMidlet' \
    'MIDlet-Version: 1.0' \
    'MicroEdition-Profile: MIDP-1.0' > "$out/META-INF/MANIFEST.MF"
