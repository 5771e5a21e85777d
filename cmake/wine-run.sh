#!/bin/sh
# Runs a Windows program under 64-bit Wine in the project's private prefix.
# Used by CTest as the cross-compiling emulator and by the Makefile.
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="${TAVRO_WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
