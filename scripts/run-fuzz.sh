#!/usr/bin/env bash
# Runs each libFuzzer program of a fuzz build for a bounded time.
#   scripts/run-fuzz.sh BUILD_DIR SECONDS [TARGET...]
# Starts from the checked-in corpus (fuzz/corpus/<name>/, never written to);
# new inputs go to BUILD_DIR/corpus/<name>/, a crash, hang or sanitizer
# report to BUILD_DIR/artifacts/<name>-*. Exit status 1 when any target
# found something.
set -uo pipefail

build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_target.cpp; do
    name=$(basename "$f" _target.cpp)
    targets+=("$name")
  done
fi

failed=()
for name in "${targets[@]}"; do
  program="$build/bin/fuzz-$name"
  [ -x "$program" ] || { echo "no program $program" >&2; failed+=("$name"); continue; }
  mkdir -p "$build/corpus/$name" "$build/artifacts"
  echo "=== $name: ${seconds}s"
  # -timeout: one input running longer than this is a hang.
  if "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name-" "$build/corpus/$name" "fuzz/corpus/$name" \
      > "$build/artifacts/$name.log" 2>&1; then
    echo "    no finding; $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/artifacts/$name.log" | grep -o '[0-9]*$') inputs run"
  else
    echo "    FINDING: see $build/artifacts/$name.log"
    grep -m3 -E 'ERROR|runtime error|deadly signal|timeout|Test unit written' "$build/artifacts/$name.log" | sed 's/^/    /'
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz findings in: ${failed[*]}"
  exit 1
fi
echo "fuzz: no findings"
