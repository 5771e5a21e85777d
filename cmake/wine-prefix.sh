#!/bin/sh
# Creates the private Wine prefix under build/ on first use and starts its
# server detached, so test programs do not wait on Wine's helper processes.
# TAVRO_WINE_RUN names the Wine runner: wine-run.sh (64-bit, the default)
# or wine32-run.sh (32-bit, prefix build/wineprefix32). Every call is bounded.
here=$(cd "$(dirname "$0")" && pwd)
run=${TAVRO_WINE_RUN:-$here/wine-run.sh}
case "$run" in
  *wine32-run.sh) default=wineprefix32 server="$run wineserver" ;; # the chroot's own
  *) default=wineprefix server=wineserver ;;
esac
WINEPREFIX="${TAVRO_WINEPREFIX:-$here/../build/$default}"
export WINEPREFIX TAVRO_WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 900 "$run" wineboot -i </dev/null >/dev/null 2>&1
  timeout 300 $server -w
fi
$server -p60 </dev/null >/dev/null 2>&1
timeout 300 "$run" cmd /c exit </dev/null >/dev/null 2>&1
exit 0
