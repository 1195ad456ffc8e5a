#!/bin/sh
# Runs a Windows program under wine for the cross build's tests.
# WINEPREFIX: the prefix to use (tools/test-windows.sh makes a fresh one per run);
# without it, one under /tmp that is made on first use.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-/tmp/zpk3x-wine-$(id -u)}"
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  mkdir -p "$WINEPREFIX"
  # One creation at a time, also when tests start in parallel. Nothing that wine
  # starts for the prefix may keep the caller's output open.
  flock "$WINEPREFIX" sh -c '[ -d "$WINEPREFIX/dosdevices" ] || wine wineboot -i' </dev/null >/dev/null 2>&1
fi
exec wine "$@"
