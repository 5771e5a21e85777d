#!/bin/sh
# Creates the private Wine prefix under build/ on first use and starts its
# server detached, so test programs do not wait on Wine's helper processes.
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="${TAVRO_WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
wineserver -p60 </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
exit 0
