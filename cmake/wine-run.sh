#!/usr/bin/env bash
# Runs a Windows executable under Wine with a quiet, private prefix.
# Used as the cross build's emulator, so ctest runs the Windows tests through it.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/tarnbeck-wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  # Hiding a window waits about 2 s without a window manager unless windows are unmanaged.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
exec /usr/lib/wine/wine64 "$@"
