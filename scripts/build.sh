#!/usr/bin/env bash
# Sets up the machine (idempotent) and builds both: the Windows programs in build/win and the native
# core, tests, fuzz target and benchmark in build/native.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"

# The native build uses clang so that the fuzz target (libFuzzer) and the sanitizers are available.
cmake -S . -B build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_WIN_BUILD="$root/build/win" >/dev/null
cmake --build build/native -j"$jobs"
