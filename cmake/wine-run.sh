#!/bin/sh
# Runs a Windows program under wine for the cross build's tests.
# WINEPREFIX: the prefix to use (tools/test-windows.sh makes a fresh one per run);
# without it, one under /tmp that is made on first use.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-/tmp/zpk3x-wine-$(id -u)}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # One creation at a time, also when tests start in parallel.
  flock "$WINEPREFIX" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -i >/dev/null 2>&1'
fi
exec wine "$@"
