#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian: no errors, and the dependencies
# dpkg-shlibdeps found include Qt and the image libraries.
# Usage: deb-test.sh BUILD-DIR
set -euo pipefail
build="$1"
out="$(mktemp -d)"; trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
deb="$(ls "$out"/*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for lib in libqt6widgets6 libpng16 libjpeg62-turbo libtiff6 libopenjp2 libzip4 libcairo2; do
    grep -q "$lib" <<< "$depends" || { echo "missing dependency $lib"; exit 1; }
done
lintian --no-tag-display-limit "$deb" | tee "$out/lintian.txt"
if grep -q '^E:' "$out/lintian.txt"; then echo "lintian reports errors"; exit 1; fi
echo "package ok"
