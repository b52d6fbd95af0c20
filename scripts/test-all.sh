#!/usr/bin/env bash
# Installs what is needed, builds both flavours and runs every test: the
# Linux build natively, the Windows build under Wine, the release packages,
# the Linux suite again under the address/undefined-behaviour and thread
# sanitizers, and a short run of every fuzz target. Each stage prints how
# long it took.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

stage_name=""
stage_start=0
stage() {
  finish_stage
  stage_name=$1
  stage_start=$SECONDS
  echo "=== $stage_name ==="
}
finish_stage() {
  if [ -n "$stage_name" ]; then
    echo "=== $stage_name: $((SECONDS - stage_start)) s ==="
  fi
}

stage "Linux build and tests"
cmake --workflow --preset linux

stage "Windows build (MinGW-w64) and tests under Wine"
cmake --preset windows
cmake --build --preset windows
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/tarnbeck-wineprefix}
bash scripts/wine-session.sh start
trap 'bash scripts/wine-session.sh stop' EXIT
ctest --preset windows
bash scripts/wine-session.sh stop
trap - EXIT

stage "Release packages (Debian package and Windows zip)"
bash scripts/test-package.sh

stage "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --workflow --preset linux-asan

stage "Linux tests under ThreadSanitizer"
cmake --workflow --preset linux-tsan

stage "Short fuzz runs (libFuzzer)"
bash scripts/fuzz.sh short

finish_stage
echo "=== All stages: $SECONDS s ==="
