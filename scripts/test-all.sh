#!/usr/bin/env bash
# Installs what is needed, builds both flavours and runs every test:
# the Linux build natively, the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "=== Linux build and tests ==="
cmake --workflow --preset linux

echo "=== Windows build (MinGW-w64) and tests under Wine ==="
cmake --preset windows
cmake --build --preset windows
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/tarnbeck-wineprefix}
bash scripts/wine-session.sh start
trap 'bash scripts/wine-session.sh stop' EXIT
ctest --preset windows
