#!/usr/bin/env bash
# Rebuilds the viewer's two classes, files/a.class and files/GameMidlet.class, from viewer/src,
# and those of the flowing reader, files/flow/a.class and files/flow/GameMidlet.class, from
# viewer/flow/a.java with the same MIDlet (the builder takes the other templates from files/).
# They are compiled for CLDC 1.0 phones: class file version 45.3 with the StackMap attributes
# that the phone's verifier needs (ecj's cldc1.1 target writes them), against the boot class
# path of viewer/api, which declares only what CLDC 1.0 and MIDP 1.0 offer, so any use of an
# API a phone lacks fails here. The output is deterministic: the committed classes are
# exactly what this script writes.
# Usage: viewer/build.sh [OUTPUT-FOLDER]   (default: files/ at the top of the repository)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../files}"
ECJ="${ECJ:-ecj}"
command -v "$ECJ" >/dev/null || { echo "build.sh: ecj not found (Debian package ecj)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/api" "$work/classes" "$work/flow" "$out/flow"

# The API declarations compile against nothing but themselves.
(cd "$here/api" && find . -name '*.java' | LC_ALL=C sort) > "$work/api.list"
(cd "$here/api" && "$ECJ" -1.3 -target cldc1.1 -g:none -nowarn -encoding UTF-8 \
    -bootclasspath "$work/api" -d "$work/api" @"$work/api.list")

(cd "$here/src" && "$ECJ" -1.3 -target cldc1.1 -g:none -encoding UTF-8 -failOnWarning \
    -bootclasspath "$work/api" -d "$work/classes" GameMidlet.java a.java)

(cd "$here" && "$ECJ" -1.3 -target cldc1.1 -g:none -encoding UTF-8 -failOnWarning \
    -bootclasspath "$work/api" -d "$work/flow" src/GameMidlet.java flow/a.java)

for c in a.class GameMidlet.class; do
    cp "$work/classes/$c" "$out/$c"
    cp "$work/flow/$c" "$out/flow/$c"
done
