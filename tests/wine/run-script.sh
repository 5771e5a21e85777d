#!/bin/sh
# Runs one script under tavrorun through Wine and checks its exit code and,
# when given, an extended regular expression its output must match.
# usage: run-script.sh WINE_RUN TAVRORUN EXPECTED_EXIT PATTERN SCRIPT [ARGS...]
wine_run=$1 tavrorun=$2 expected=$3 pattern=$4
shift 4
out=$(mktemp)
trap 'rm -f "$out"' EXIT

run() {
  sh "$wine_run" "$tavrorun" //nologo "$@" >"$out" 2>&1 </dev/null
  status=$?
}
run "$@"
# Wine's launcher now and then fails to start a program at all.
if [ ! -s "$out" ] && [ "$status" -ne "$expected" ]; then
  echo "no output (exit $status): running again"
  run "$@"
fi

failed=0
if [ "$status" -ne "$expected" ]; then
  echo "$1: exit code $status, expected $expected"
  failed=1
fi
if [ -n "$pattern" ] && ! grep -Eq "$pattern" "$out"; then
  echo "$1: output does not match /$pattern/"
  failed=1
fi
if [ $failed -ne 0 ]; then
  echo "---- output of $*"
  cat "$out"
fi
exit $failed
