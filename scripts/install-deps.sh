#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need, as listed one per
# line in scripts/deps/*.txt ("#" starts a comment). Idempotent: when everything is present
# it does nothing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

mapfile -t packages < <(cat "$here"/deps/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
