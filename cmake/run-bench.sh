#!/bin/sh
# Runs every benchmark: the portable ones in an optimised native build, then
# the Windows ones under Wine. They print figures and never fail on timing.
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$root/build/bench" || exit 1
for b in "$root"/build/bench/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
# The MIDI file figures once more with a warm heap: freed memory stays with
# the process instead of going back to the system after each run.
echo "== smf_bench (warm heap)"
GLIBC_TUNABLES=glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=33554432 \
  "$root/build/bench/bench/smf_bench"
export WINEPREFIX="$root/build/wineprefix"
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
sh "$here/wine-prefix.sh"
echo "== tools_utilities_bench (Wine)"
"$here/wine-run.sh" "$root/build/x64/tools_utilities_bench.exe" </dev/null
echo "== midifile_bench (Wine)"
"$here/wine-run.sh" "$root/build/x64/midifile_bench.exe" </dev/null
echo "== vport_bench (Wine)"
"$here/wine-run.sh" "$root/build/x64/vport_bench.exe" </dev/null
wineserver -k 2>/dev/null
sh "$root/bench/run-midiio-bench.sh" "$root/build/x64"
WINEPREFIX="$root/build/x64/wineprefix-midiloop" wineserver -k 2>/dev/null
exit 0
