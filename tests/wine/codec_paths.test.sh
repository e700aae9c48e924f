#!/usr/bin/env bash
# The encoder's code paths as the Windows build compiles them (32-bit, or x86-64 where that is what
# runs) agree with the reference encoder, run under Wine on a thread like the capture thread. The SSE2 path must always run; AVX2
# runs where the processor has it.
set -euo pipefail
source "$TAVREL_SOURCE/tests/wine/lib.sh"

EXE=$TAVREL_WIN_BUILD/tests/win/codec/codec_paths.exe
[ -f "$EXE" ] || fail "$EXE is not built"
wine_start
cd "$WORK"
timeout 300 env LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$WINE_LOADER" "$EXE" >out.txt 2>err.txt || fail "codec_paths: $(cat out.txt err.txt)"
cat out.txt
grep -q "^SSE2: agrees with the reference" out.txt || fail "SSE2 path not checked"
if grep -q avx2 /proc/cpuinfo; then
  grep -q "^AVX2: agrees with the reference" out.txt || fail "AVX2 path not checked on a processor with AVX2"
fi
