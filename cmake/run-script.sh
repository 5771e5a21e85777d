#!/bin/sh
# Runs one test script under Wine: run-script.sh <host> <script> [args...].
# TAVRO_WINE_RUN names the Wine runner (default wine-run.sh, 64-bit).
# <host> is cscript or a path to tavrorun.exe. The script prints
# "N passed, M failed" as its last line and quits with its failure count;
# anything else (no summary, non-zero exit) is a failure. Wine's launcher
# sometimes starts nothing at all: a run that printed nothing is retried once.
here=$(cd "$(dirname "$0")" && pwd)
host=$1; script=$2; shift 2
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
out=$(mktemp)
for attempt in 1 2; do
  "${TAVRO_WINE_RUN:-$here/wine-run.sh}" "$host" //nologo "$(winpath "$script")" "$@" >"$out" 2>&1 </dev/null
  status=$?
  [ -s "$out" ] && break
done
cat "$out"
summary=$(tr -d '\r' <"$out" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
rm -f "$out"
if [ -z "$summary" ]; then
  echo "no summary line: the script stopped early (exit $status)"
  exit 1
fi
case "$summary" in
  *" 0 failed") [ "$status" = 0 ] && exit 0; echo "exit status $status"; exit 1 ;;
  *) exit 1 ;;
esac
