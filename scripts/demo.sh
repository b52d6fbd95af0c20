#!/usr/bin/env bash
# Installs what is needed, builds the Linux program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
./build/linux/src/shell/tarnbeck
