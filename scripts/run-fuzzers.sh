#!/usr/bin/env bash
# Runs every fuzz target of a sanitize tree for a bounded time each:
#   run-fuzzers.sh BUILD_DIR SECONDS
# Corpora grow in BUILD_DIR/tests/fuzz/corpus/<target>; a crash leaves its
# input as crash-* in the current directory.
set -uo pipefail
tree=$1
seconds=$2
status=0
for fuzzer in "$tree"/tests/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$tree/tests/fuzz/corpus/$name"
  log="$tree/tests/fuzz/$name.log"
  mkdir -p "$corpus"
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" >"$log" 2>&1
  rc=$?
  grep -E '^(stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|Done)' "$log"
  if [ $rc -ne 0 ]; then
    status=1
    tail -n 40 "$log"
  fi
done
exit $status
