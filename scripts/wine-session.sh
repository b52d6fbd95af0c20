#!/usr/bin/env bash
# Starts or stops a warm Wine session for the Windows tests: a private prefix,
# a persistent wineserver and its services started with their output sent away,
# so no Wine helper keeps ctest's output pipe open after a test ends.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/tarnbeck-wineprefix}
here=$(cd "$(dirname "$0")/.." && pwd)

# Whether a wineserver started with -p serves this prefix.
persistent_server_running() {
  local pid
  for pid in $(pgrep -f 'wineserver64? .*-p'); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      return 0
    fi
  done
  return 1
}

case "${1:-start}" in
  start)
    "$here/cmake/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
    # A persistent server already running for this prefix is reused as it is.
    if ! persistent_server_running; then
      # A transient server ends once its last client has gone; then make one that stays.
      /usr/lib/wine/wineserver -w 2>/dev/null || true
      /usr/lib/wine/wineserver -p
    fi
    /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
    ;;
  stop)
    /usr/lib/wine/wineserver -k || true
    ;;
esac
