#!/usr/bin/env bash
# What a recording weighs when it is shared:  bash tests/bench/sharing.sh
#
# The four 50-frame 1920x1080 sequences of peers.sh (idle, typing, scrolling, motion), each recorded
# as a movie by peer_frames with a cursor moving over it, then converted by tavrel-movie: pack, MP4
# (default and --lossless) and GIF, each with its size in bytes and its wall time in seconds. Then the time to export a one-minute 1080p typing movie (300 frames) to MP4.
# Prints a Markdown table for docs/performance.md. TAVREL_TRUE_COLOUR=1: the sequences in the colours
# they are drawn in, recorded as true-colour movies.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TAVREL_NATIVE_BUILD:-$root/build/native}
cmake --build "$build" -j"$(nproc)" --target peer_frames tavrel-movie >/dev/null
tool=$build/tools/tavrel-movie
work=$(mktemp -d "$build/sharing.XXXXXX")
trap 'rm -rf "$work"' EXIT
colour=()
[ "${TAVREL_TRUE_COLOUR:-0}" = 1 ] && colour=(--true-colour)

# "BYTES SECONDS" of one conversion; its output file is the last argument.
measure() {
  local start end
  start=$(date +%s.%N)
  "$tool" "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$(stat -c %s "${@: -1}") $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')"
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
printf "\n| sequence | movie: bytes | pack: bytes | s | MP4: bytes | s | MP4 lossless: bytes | s | GIF: bytes | s |\n"
printf "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
for sequence in idle typing scrolling motion; do
  movie=$work/$sequence.exe
  "$build/tests/bench/peer_frames" "${colour[@]}" "$sequence" - "$movie"
  read -r pack pack_s < <(measure pack "$movie" -o "$work/packed.exe")
  read -r mp4 mp4_s < <(measure export "$movie" --mp4 "$work/out.mp4")
  read -r lossless lossless_s < <(measure export "$movie" --lossless --mp4 "$work/lossless.mp4")
  read -r gif gif_s < <(measure export "$movie" --gif "$work/out.gif")
  echo "| $sequence | $(stat -c %s "$movie") | $pack | $pack_s | $mp4 | $mp4_s | $lossless | $lossless_s | $gif | $gif_s |"
  rm -f "$work"/*
done

"$build/tests/bench/peer_frames" "${colour[@]}" typing - "$work/minute.exe" 300
read -r bytes seconds < <(measure export "$work/minute.exe" --mp4 "$work/minute.mp4")
echo
echo "one minute of 1080p typing (300 frames, $(stat -c %s "$work/minute.exe") bytes as recorded): MP4 of $bytes bytes in $seconds s"
echo "movie bytes include the 20480-byte player; times are wall-clock seconds with every core the tool may use."
