#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need.
# Idempotent: when everything is present it does nothing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev valgrind
  # codecs over libraries
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  # independent tools that make and check test fixtures
  imagemagick netpbm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
