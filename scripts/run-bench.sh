#!/usr/bin/env bash
# Runs every benchmark program of a build and gathers their figures into one
# Markdown report, which it also prints.
#   scripts/run-bench.sh BUILD_DIR REPORT
# A program telvora-bench-NAME gets its arguments from the environment
# variable BENCH_ARGS_NAME (e.g. BENCH_ARGS_cursor="--size 5000"). Each
# program's own output goes to BUILD_DIR/bench-rows/NAME.log, its figures
# to BUILD_DIR/bench-rows/NAME.tsv.
set -euo pipefail

build=$1
report=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
rows="$build/bench-rows"
rm -rf "$rows"
mkdir -p "$rows"

status=0
for program in "$build"/bin/telvora-bench-*; do
  [ -x "$program" ] || continue
  name=${program##*/telvora-bench-}
  args_var="BENCH_ARGS_$name"
  echo "=== $name ${!args_var:-}" >&2
  # shellcheck disable=SC2086  # the arguments are words on purpose
  if ! TELVORA_BENCH_ROWS="$rows/$name.tsv" "$program" ${!args_var:-} > "$rows/$name.log" 2>&1; then
    echo "benchmark $name failed; see $rows/$name.log" >&2
    tail -5 "$rows/$name.log" >&2
    status=1
  fi
done
python3 "$source_dir/scripts/bench-report.py" "$rows" "$report"
cat "$report"
exit $status
