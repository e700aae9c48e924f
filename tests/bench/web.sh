#!/usr/bin/env bash
# The browser player's figures (docs/performance.md):  bash tests/bench/web.sh
# Writes a one-minute 1920 x 1080 typing movie (peer_frames typing, 300 frames), exports it with
# export --html and measures the page in Debian's chromium, headless (tests/bench/web-player.mjs). Needs the native
# build and the set-up of the browser tests (scripts/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TAVREL_NATIVE_BUILD:-$root/build/native}
cmake --build "$build" -j"$(nproc)" --target peer_frames tavrel-movie >/dev/null
work=$(mktemp -d "$build/web-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/tests/bench/peer_frames" typing - "$work/typing.exe" 300
"$build/tools/tavrel-movie" export "$work/typing.exe" --html "$work/typing.html"
lscpu | grep -E "^(Model name|CPU\(s\)):"
chromium --version 2>/dev/null
node "$root/tests/bench/web-player.mjs" "$work/typing.exe" "$work/typing.html"
