#!/bin/sh
# Runs the MidiIO benchmarks under Wine with the loopback MIDI driver, in the
# loopback prefix of the x64 build (installed here if needed). Prints figures
# only. Run from the repository root after building build/x64:
#   xvfb-run -a sh bench/run-midiio-bench.sh [build/x64]
here=$(cd "$(dirname "$0")" && pwd)
root="$here/.."
build=$(cd "${1:-$root/build/x64}" && pwd) || exit 1
export TAVRO_WINEPREFIX="$build/wineprefix-midiloop"
export WINEPREFIX="$TAVRO_WINEPREFIX"
run="$root/cmake/wine-run.sh"
sh "$root/tests/wine/winmm_loop/install.sh" "$build/winemidiloop.drv" || exit 1
sh "$run" regsvr32 /s "$build/TAVRO.OCX" </dev/null
echo "== midiio_input_bench"
sh "$run" "$build/midiio_input_bench.exe" </dev/null
echo "== midiio_schedule_bench"
sh "$run" "$build/midiio_schedule_bench.exe" </dev/null
echo "== midiio_drain_bench.vbs (cscript)"
sh "$run" cscript //nologo "$(printf 'Z:%s' "$here/midiio_drain_bench.vbs" | tr / '\\')" </dev/null
sh "$run" regsvr32 /s /u "$build/TAVRO.OCX" </dev/null
