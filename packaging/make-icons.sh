#!/usr/bin/env bash
# Renders the desktop icon packaging/panelle.svg to the hicolor sizes the desktop looks up,
# packaging/icons/panelle-N.png, without time stamps so that a rerun gives the same bytes.
# Usage: packaging/make-icons.sh        (needs rsvg-convert, Debian package librsvg2-bin)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$here/icons"
rsvg-convert --version > "$here/icons/TOOLS"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$here/panelle.svg" -o "$here/icons/panelle-$size.png"
done
