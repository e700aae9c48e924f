#!/usr/bin/env bash
# Sets up the machine (idempotent) and builds: the 32-bit Windows programs in build/win; where this
# machine runs the x86-64 programs under Wine instead (scripts/windows-target.sh), also those, in
# build/win64; and the native core, tests, fuzz target and benchmark in build/native, whose Wine tests
# run the Windows programs of that choice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/windows-target.sh
echo "Windows programs under Wine: $TAVREL_WINDOWS from $TAVREL_WIN_BUILD ($TAVREL_WINDOWS_WHY)"
jobs=$(nproc)

build_windows() {
  cmake -S . -B "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$1.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$2" -j"$jobs"
}
build_windows i686 build/win
if [ "$TAVREL_WINDOWS" = x86_64 ]; then build_windows x86_64 build/win64; fi

# The native build uses clang so that the fuzz target (libFuzzer) and the sanitizers are available.
cmake -S . -B build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_WIN_BUILD="$TAVREL_WIN_BUILD" \
  -DTAVREL_WINDOWS="$TAVREL_WINDOWS" "-DTAVREL_WINDOWS_WHY=$TAVREL_WINDOWS_WHY" >/dev/null
cmake --build build/native -j"$jobs"
