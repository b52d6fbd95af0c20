#!/usr/bin/env bash
# Builds the simulator stand-in for this (Linux) machine, for the Windows
# program's checks: the game's packets come from it over 127.0.0.1 while the
# program runs under Wine. Rebuilt only when its sources changed.
set -euo pipefail
source_dir=$1
output=$2
mkdir -p "$(dirname "$output")"
if [ -x "$output" ] && [ -z "$(find "$source_dir" -newer "$output" \( -name '*.cpp' -o -name '*.h' \))" ]; then
  exit 0
fi
g++ -std=c++17 -O1 -Wall -Wextra -I"$source_dir" "$source_dir"/*.cpp -o "$output"
