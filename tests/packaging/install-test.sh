#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and uses it as a user would: the installed
# panelle-cli makes a book with the installed templates, and the desktop entry and the
# AppStream metadata pass their validators.
# Usage: install-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build="$1"; source="$2"
prefix="$(mktemp -d)"; trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null

for f in bin/panelle bin/panelle-cli share/panelle/files/a.class share/panelle/files/META-INF/MANIFEST.MF \
         share/panelle/files/flow/a.class share/panelle/files/flow/GameMidlet.class \
         share/applications/panelle.desktop share/metainfo/net.kavoo.Panelle.metainfo.xml \
         share/icons/hicolor/scalable/apps/panelle.svg share/icons/hicolor/16x16/apps/panelle.png \
         share/icons/hicolor/256x256/apps/panelle.png share/man/man1/panelle-cli.1.gz; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

# The installed program finds its templates though it runs from a prefix it was not built for.
work="$prefix/work"; mkdir -p "$work"
(cd "$work" && "$prefix/bin/panelle-cli" build -o book --name "Installed" "$source/samples/page.bmp" > out.txt 2>&1) || {
    cat "$work/out.txt"; exit 1; }
# The listing goes to a file first: with pipefail, grep -q leaving early would make unzip's
# SIGPIPE fail the check on a book that is fine.
unzip -l "$work/book.jar" > "$work/listing.txt"
grep -q "GameMidlet.class" "$work/listing.txt" || { echo "book.jar without the viewer"; exit 1; }
grep -q "MIDlet-Jar-URL: book.jar" "$work/book.jad"

desktop-file-validate "$prefix/share/applications/panelle.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/net.kavoo.Panelle.metainfo.xml"
man -l "$prefix/share/man/man1/panelle-cli.1.gz" > /dev/null
echo "installed tree ok"
