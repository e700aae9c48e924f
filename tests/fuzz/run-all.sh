#!/usr/bin/env bash
# Runs every fuzz target for MINUTES minutes, one after the other, from its seed corpus, its scratch
# corpus in the build folder (which grows from run to run) and the kept regressions, and prints per
# target the executions, the coverage (cov: edges, ft: features) and the findings. A finding's input
# is written as finding-TARGET-crash-... (or -leak-, -timeout-, -oom-) beside the corpora; the log of
# each run is run-TARGET.log there.
#   tests/fuzz/run-all.sh MINUTES [BUILD]     MINUTES may be a fraction; BUILD: the native build folder, build/native by default
# The machine is shared: run it under nice (nice -n 10 tests/fuzz/run-all.sh 60).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
minutes=${1:?usage: run-all.sh MINUTES [BUILD]}
# libFuzzer takes whole seconds, and 0 for no limit at all: at least one.
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60); print s < 1 ? 1 : s }')
build=$(cd "${2:-$root/build/native}" && pwd)
fuzz=$build/tests/fuzz
status=0
printf '%-11s %14s %8s %8s %9s %s\n' target executions cov ft findings exec/s
for target in movie_fuzz seek_fuzz core_fuzz walk_fuzz; do
  binary=$fuzz/$target
  [ "$target" = walk_fuzz ] && binary=$build/tools/walk_fuzz
  seeds=$fuzz/seeds-played
  [ "$target" = movie_fuzz ] && seeds=$fuzz/seeds
  if [ ! -x "$binary" ]; then
    echo "$target: not built ($binary)"
    status=1
    continue
  fi
  log=$fuzz/run-$target.log
  mkdir -p "$fuzz/corpus-$target"
  before=$(ls "$fuzz" | grep -c "^finding-$target-")
  ASAN_OPTIONS=detect_leaks=1 "$binary" -max_total_time=$seconds -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$fuzz/finding-$target-" \
    "$fuzz/corpus-$target" "$seeds" "$root/tests/fuzz/regressions" >"$log" 2>&1
  code=$?
  findings=$(($(ls "$fuzz" | grep -c "^finding-$target-") - before))
  [ $code -ne 0 ] && [ $findings -eq 0 ] && findings="exit $code"
  [ $code -ne 0 ] && status=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-11s %14s %8s %8s %9s %s\n' "$target" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$findings" "${speed:-?}"
done
exit $status
