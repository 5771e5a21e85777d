#!/bin/sh
# Runs a script that echoes "EXPECT|<line beginning>|<key phrase>" rows
# under tavrorun //debug //trace and checks that each row's trace line
# reaches standard error; then runs it under //debug alone, where no trace
# line may appear.
# usage: run-trace.sh WINE_RUN TAVRORUN SCRIPT [ARGS...]
wine_run=$1 tavrorun=$2
shift 2
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

run() {
  sh "$wine_run" "$tavrorun" //nologo "$@" >"$out" 2>"$err" </dev/null
  status=$?
  # Wine's launcher now and then fails to start a program at all.
  if [ ! -s "$out" ] && [ "$status" -ne 0 ]; then
    echo "no output (exit $status): running again"
    sh "$wine_run" "$tavrorun" //nologo "$@" >"$out" 2>"$err" </dev/null
    status=$?
  fi
  tr -d '\r' <"$out" >"$out.n" && mv "$out.n" "$out"
  tr -d '\r' <"$err" >"$err.n" && mv "$err.n" "$err"
}

failed=0
run //debug //trace "$@"
rows=$(grep -c '^EXPECT|' "$out")
if [ "$status" -ne 0 ] || [ "$rows" -eq 0 ]; then
  echo "traced run: exit $status, $rows rows"
  failed=1
fi
grep '^EXPECT|' "$out" | {
  missing=0
  while IFS='|' read -r _ prefix phrase; do
    if ! grep -F -- "$prefix" "$err" | grep -F -q -- "$phrase"; then
      echo "missing trace line: $prefix ... $phrase"
      missing=1
    fi
  done
  exit $missing
} || failed=1
if [ $failed -ne 0 ]; then
  echo "---- standard output"; cat "$out"; echo "---- standard error"; cat "$err"
fi

run //debug "$@"
if [ "$status" -ne 0 ] || [ "$(grep -c '^EXPECT|' "$out")" -ne "$rows" ]; then
  echo "untraced run: exit $status"
  cat "$out"
  failed=1
fi
if grep -q '^TAVRO ' "$err"; then
  echo "trace lines without //trace:"
  grep '^TAVRO ' "$err"
  failed=1
fi
[ $failed -eq 0 ] && echo "$rows trace lines checked"
exit $failed
