#!/usr/bin/env bash
# Runs every test: sets up the machine, builds everything, then runs the native unit tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), a short fuzz run and the Wine tests of the real
# programs, all through ctest, whose last line gives the counts. TAVREL_WINDOWS=i686 or x86_64 chooses
# the Windows programs the Wine tests run (by default, what this machine can execute).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
cd "$root/build/native"
# The native tests share the cores; the Wine and browser tests, which play in real time, run alone.
ctest --output-on-failure -j"$(nproc)" "$@"
