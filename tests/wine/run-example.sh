#!/bin/sh
# Runs an example under tavrorun through Wine, optionally beside a companion
# example started first (a receiver, or a thru); the example starts once the
# companion has printed its first line (its ports are open then). Both must
# exit with 0, and their joint output must match PATTERN. An example and its
# arguments are one string of words; the example is named within EXAMPLES.
# usage: run-example.sh WINE_RUN TAVRORUN EXAMPLES PATTERN "COMPANION ARGS"|- "EXAMPLE ARGS"
wine_run=$1 tavrorun=$2 examples=$3 pattern=$4 companion=$5 example=$6
out=$(mktemp) ; side=$(mktemp)
trap 'rm -f "$out" "$side"' EXIT
# run "script args..." >file: the script by its Windows path.
run() {
  script=$1; shift
  sh "$wine_run" "$tavrorun" //nologo "$(printf 'Z:%s/%s' "$examples" "$script" | tr / '\\')" "$@" </dev/null 2>&1
}
status=0
if [ "$companion" != - ]; then
  # shellcheck disable=SC2086 # word splitting makes the script and its arguments
  run $companion >"$side" &
  pid=$!
  for _ in $(seq 240); do
    grep -q . "$side" && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.5
  done
fi
# shellcheck disable=SC2086
run $example >"$out" || { status=1; echo "$example: failed"; }
if [ "$companion" != - ]; then
  wait $pid || { status=1; echo "$companion: failed"; }
  cat "$side" >>"$out"
fi
grep -Eq "$pattern" "$out" || { status=1; echo "output does not match /$pattern/"; }
grep -v '^ALSA' "$out"
exit $status
