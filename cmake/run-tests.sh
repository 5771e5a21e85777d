#!/bin/sh
# Runs every test: the native unit tests, then the Windows tests under Wine.
# Started by `make test` inside xvfb-run, so the Wine server owns a display.
here=$(cd "$(dirname "$0")" && pwd)
root="$here/.."
export WINEPREFIX="$root/build/wineprefix"
status=0
ctest --test-dir "$root/build/native" --output-on-failure --timeout 300 || status=1
# A server left from a run without a display could not create windows.
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
sh "$here/wine-prefix.sh"
ctest --test-dir "$root/build/x64" --output-on-failure --timeout 300 || status=1
wineserver -k 2>/dev/null
exit $status
