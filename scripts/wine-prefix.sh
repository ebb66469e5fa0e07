#!/usr/bin/env bash
# Sourced by the project's scripts: sets the Wine environment and makes sure that the Wine
# prefix named by the first argument exists.
#   source scripts/wine-prefix.sh build/wine-run
export KELTO_WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX
WINEPREFIX="$(mkdir -p "$1" && cd "$1" && pwd)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$KELTO_WINE" wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "kelto: could not create the Wine prefix $WINEPREFIX" >&2
  return 1 2>/dev/null || exit 1
fi
