#!/bin/sh
# Installs (or with --remove, removes) the loopback MIDI driver in a Wine
# prefix: copied to system32 as winemidiloop.drv and selected as the audio
# driver. Use a prefix of its own: while selected there are no audio devices.
#   WINEPREFIX=/path/to/prefix sh install.sh path/to/winemidiloop.drv
#   WINEPREFIX=/path/to/prefix sh install.sh --remove
set -e
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../../.."
export WINEPREFIX="${WINEPREFIX:-${TAVRO_WINEPREFIX:-$root/build/wineprefix}}"
export WINEDEBUG=-all TAVRO_WINEPREFIX="$WINEPREFIX"
# Creates the prefix on first use and starts its server detached.
sh "$root/cmake/wine-prefix.sh"
# The Wine of the driver's architecture (the 64-bit one by default).
wine=${TAVRO_WINE_RUN:-$root/cmake/wine-run.sh}
key='HKCU\Software\Wine\Drivers'
if [ "$1" = "--remove" ]; then
  "$wine" reg delete "$key" /v Audio /f </dev/null >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/drive_c/windows/system32/winemidiloop.drv"
  exit 0
fi
[ -f "$1" ] || { echo "usage: install.sh path/to/winemidiloop.drv | --remove" >&2; exit 2; }
cp "$1" "$WINEPREFIX/drive_c/windows/system32/winemidiloop.drv"
"$wine" reg add "$key" /v Audio /d midiloop /f </dev/null >/dev/null
echo "loopback MIDI driver installed in $WINEPREFIX"
