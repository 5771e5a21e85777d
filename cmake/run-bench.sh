#!/bin/sh
# Builds the benchmarks in an optimised native build and runs each; they
# print figures and never fail on timing.
here=$(cd "$(dirname "$0")" && pwd)
root="$here/.."
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$root/build/bench" || exit 1
for b in "$root"/build/bench/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
