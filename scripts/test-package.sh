#!/usr/bin/env bash
# Builds the release packages (presets release-linux and release-windows) and
# checks them as a user gets them (tests/package/package_test.py): the Debian
# package unpacked and run from a throw-away folder, installed into and purged
# from a throw-away dpkg root, and the Windows zip. The checks run in private
# network, process and mount namespaces (root only), so they meet no other
# Tarnbeck and no simulator of this machine. TARNBECK_APT_ROUNDTRIP=1 adds a
# real apt-get install and purge on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

cmake --workflow --preset release-linux
cmake --workflow --preset release-windows

unshare -n -p -f --mount-proc bash -c '
  ip link set lo up
  export XDG_RUNTIME_DIR=$(mktemp -d)
  /usr/bin/python3 tests/package/package_test.py'

echo "Release packages built and checked in $((SECONDS - started)) s"
