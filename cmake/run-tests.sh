#!/bin/sh
# Runs every test: the native unit tests, then the Windows tests under Wine.
# Started by `make test` inside xvfb-run, so the Wine server owns a display.
here=$(cd "$(dirname "$0")" && pwd)
root="$here/.."
export WINEPREFIX="$root/build/wineprefix"
status=0
ctest --test-dir "$root/build/native" --no-tests=error --output-on-failure --timeout 300 || status=1
# About a minute of the MIDI file reader fuzzer (clang, libFuzzer): seeds from
# tests/fuzz/corpus, new inputs kept in build/fuzz/corpus, crashes written to
# build/fuzz/. Its chatter goes to a log whose tail is shown on failure.
fuzzlog="$root/build/fuzz-smf_reader.log"
echo "fuzzing the MIDI file reader for 60 s (log: $fuzzlog)"
{ CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_FUZZ=ON >/dev/null && cmake --build "$root/build/fuzz" --target smf_reader_fuzz && mkdir -p "$root/build/fuzz/corpus" && "$root/build/fuzz/tests/fuzz/smf_reader_fuzz" -max_total_time=60 -max_len=4096 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$root/build/fuzz/" "$root/build/fuzz/corpus" "$root/tests/fuzz/corpus"; } >"$fuzzlog" 2>&1 \
  || { status=1; echo "MIDI file reader fuzzer failed:"; tail -n 40 "$fuzzlog"; }
# A server left from a run without a display could not create windows.
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
sh "$here/wine-prefix.sh"
ctest --test-dir "$root/build/x64" --no-tests=error --output-on-failure --timeout 300 || status=1
wineserver -k 2>/dev/null
exit $status
