#!/usr/bin/env bash
# Makes default-book.txt, the listing of the book that the builder wrote with default
# settings before the phone options (fitted pages, colour reduction, profiles, budgets,
# volumes) existed. The committed listing was made from commit f89e654:
#
#   git worktree add /tmp/panelle-old f89e654
#   make -C /tmp/panelle-old build
#   tests/data/book/make-reference.sh /tmp/panelle-old/build/bin
#
# with unzip 6.00 (Debian 12). Every picture of the book is one whose decoding has not
# changed since: JPEGs with a JFIF aspect ratio and CMYK TIFFs are left out, as their
# pages now carry the default resolution and no alpha plane.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
"$here/../../cli/default-book.sh" "$bin/panelle-cli" "$bin/files" >"$here/default-book.txt"
unzip -v 2>/dev/null | head -1 | sed 's/^/# made with: /' >&2
