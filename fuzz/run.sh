#!/bin/sh
# Runs every fuzz target for the given number of seconds each (default 60) and reports the
# executions. Stops at the first target that finds a crash.
set -eu
build=${1:-build-fuzz}
seconds=${2:-60}
status=0
for t in "$build"/fuzz/*_fuzz; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$(dirname "$0")/seeds/${name%_fuzz}"
  [ -d "$seeds" ] || seeds=""
  echo "== $name: $seconds s"
  if ! "$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/" \
      "$corpus" $seeds 2> "$build/$name.log"; then
    status=1
    tail -n 40 "$build/$name.log"
    break
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$name.log" | tail -n 2
done
exit $status
