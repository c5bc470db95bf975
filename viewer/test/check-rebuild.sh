#!/usr/bin/env bash
# The committed templates are what the scripts make: the two classes rebuilt from viewer/src,
# the flowing reader's two in files/flow, and the two text templates rewritten must equal
# files/ byte for byte.
# Usage: check-rebuild.sh WORK-FOLDER
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
files="$here/../files"
work="$1"
rm -rf "$work" && mkdir -p "$work"
"$here/build.sh" "$work"
"$here/make-templates.sh" "$work"
status=0
for f in a.class GameMidlet.class flow/a.class flow/GameMidlet.class desc.txt META-INF/MANIFEST.MF; do
    if cmp "$files/$f" "$work/$f"; then
        echo "same: files/$f"
    else
        echo "FAIL: files/$f differs from what the scripts make; rerun viewer/build.sh and viewer/make-templates.sh"
        status=1
    fi
done
exit $status
