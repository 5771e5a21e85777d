#!/bin/sh
# Two script processes under Wine: vport_record.vbs records what
# vport_play.vbs plays through a virtual MIDI port, and prints it.
# usage: sh examples/run-vport-demo.sh   (after building build/x64)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
export WINEPREFIX="$root/build/wineprefix"
run="$root/cmake/wine-run.sh"
host="$root/build/x64/tavrorun.exe"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
sh "$root/cmake/wine-prefix.sh"
sh "$run" regsvr32 /s "$(winpath "$root/build/x64/TAVRO.OCX")" || { echo "regsvr32 failed" >&2; exit 1; }
recorded=$(mktemp)
trap 'rm -f "$recorded"' EXIT
sh "$run" "$host" //nologo "$(winpath "$here/vport_record.vbs")" >"$recorded" 2>&1 </dev/null &
recorder=$!
sh "$run" "$host" //nologo "$(winpath "$here/vport_play.vbs")" </dev/null 2>&1 | grep -v '^ALSA'
wait $recorder
status=$?
grep -v '^ALSA' "$recorded"
exit $status
