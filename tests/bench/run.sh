#!/usr/bin/env bash
# Runs the codec benchmark and prints its medians and ratios:  bash tests/bench/run.sh [benchmark args]
# Builds the benchmark in the native build folder first (build/native, or TAVREL_NATIVE_BUILD),
# configuring it if needed. TAVREL_BENCH_MB (rotation memory, default 256), TAVREL_BENCH_REPETITIONS
# (default 5) and TAVREL_BENCH_MIN_TIME (seconds per repetition, default 0.1) tune the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TAVREL_NATIVE_BUILD:-$root/build/native}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target codec_bench >/dev/null
lscpu | grep -E "^(Model name|CPU\(s\)|L2 cache|L3 cache):" || true
exec "$build/tests/bench/codec_bench" --benchmark_color=false "$@"
