#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, starting
# from its checked-in seed corpus (fuzz/corpus/<target>/). A crash fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
seconds=${FUZZ_SECONDS:-30}
status=0
for fuzzer in "$build"/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  work=$(mktemp -d)
  seeds=fuzz/corpus/$name
  mkdir -p "$seeds"
  if "$fuzzer" -max_total_time="$seconds" -timeout=20 -seed=1 -print_final_stats=1 "$work" "$seeds" \
       >"$work.log" 2>&1; then
    runs=$(grep -E '^stat::number_of_executed_units' "$work.log" | awk '{print $2}')
    echo "fuzz $name: ${runs:-?} executions in ${seconds}s, no crash"
  else
    echo "fuzz $name: FAILED"; tail -40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
