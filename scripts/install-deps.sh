#!/usr/bin/env bash
# Installs the Debian packages Tarnbeck needs to build and test both flavours.
# Packages already installed are skipped; apt-get runs only when something is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev googletest
  libcurl4-openssl-dev libbenchmark-dev
  libxml2-utils python3 python3-pyftpdlib
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 xvfb xdotool x11-utils imagemagick
  clang clang-14 libclang-rt-14-dev libxml2-dev
  dpkg-dev binutils util-linux iproute2
  chromium fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
