#!/usr/bin/env bash
# Installs what is needed, builds both flavours and runs every test: the
# Linux build natively, the Windows build under Wine, the release packages,
# the Linux suite again under the address/undefined-behaviour and thread
# sanitizers, and a short run of every fuzz target.
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
bash scripts/wine-session.sh stop
trap - EXIT

echo "=== Release packages (Debian package and Windows zip) ==="
bash scripts/test-package.sh

echo "=== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer ==="
cmake --workflow --preset linux-asan

echo "=== Linux tests under ThreadSanitizer ==="
cmake --workflow --preset linux-tsan

echo "=== Short fuzz runs (libFuzzer) ==="
bash scripts/fuzz.sh short
