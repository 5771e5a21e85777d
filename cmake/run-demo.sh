#!/bin/sh
# Registers the 64-bit OCX in the private Wine prefix and runs the demo script.
here=$(cd "$(dirname "$0")" && pwd)
root="$here/.."
export WINEPREFIX="$root/build/wineprefix"
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
sh "$here/wine-prefix.sh"
"$here/wine-run.sh" regsvr32 /s "$root/build/x64/TAVRO.OCX" || { echo "regsvr32 failed" >&2; exit 1; }
"$here/wine-run.sh" cscript //nologo "$root/examples/demo.vbs"
status=$?
wineserver -k 2>/dev/null
exit $status
