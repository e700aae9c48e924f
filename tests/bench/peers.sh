#!/usr/bin/env bash
# Our encoder side by side with other codecs on the same frames:  bash tests/bench/peers.sh
#
# Four 50-frame screen sequences at 1920x1080 in the 256 colours the player shows (idle: a blinking
# caret; typing: one character a frame; scrolling: 20 rows a frame; motion: every pixel moves) are
# made by peer_frames, which also encodes them with our encoder. Debian's ffmpeg then encodes the
# same raw frames, single-threaded, with libx264rgb (-preset ultrafast -qp 0, lossless), qtrle
# (QuickTime RLE, rgb24) and gif (rgb8, which holds RGB332 colours exactly). ffmpeg's time is its
# user CPU time minus that of the same run with no encoder (reading the raw frames and converting
# them to the codec's pixel format), so it is the encoder's alone. Installs Debian's ffmpeg when it is
# missing (only this comparison needs it) and needs about 1.7 GB of free space in the work folder.
# TAVREL_TRUE_COLOUR=1: the frames in the colours they are drawn in, our encoder at true colour (gif's
# rgb8 then loses colours; x264rgb and qtrle stay lossless).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TAVREL_NATIVE_BUILD:-$root/build/native}
if ! command -v ffmpeg >/dev/null; then
  apt-get update -q >/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ffmpeg >/dev/null
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target peer_frames >/dev/null
work=$(mktemp -d "$build/peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
frames=50
colour=()
[ "${TAVREL_TRUE_COLOUR:-0}" = 1 ] && colour=(--true-colour)

# User CPU seconds of one ffmpeg run reading the raw frames; the rest of the arguments are its output.
ffmpeg_seconds() {
  local raw=$1
  shift
  ffmpeg -hide_banner -nostdin -nostats -loglevel info -benchmark -threads 1 -filter_threads 1 \
    -f rawvideo -pix_fmt bgr0 -s 1920x1080 -r 5 -i "$raw" -threads 1 "$@" 2>&1 |
    sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p'
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(ffmpeg -version | head -1 | cut -d' ' -f1-3)"
printf "\n| sequence | ours: bytes | ours: ms/frame | codec | bytes | ms/frame | bytes vs ours | time vs ours |\n"
printf "|---|---:|---:|---|---:|---:|---:|---:|\n"
for sequence in idle typing scrolling motion; do
  raw=$work/$sequence.raw
  read -r _ _ ours_bytes ours_ms < <("$build/tests/bench/peer_frames" "${colour[@]}" "$sequence" "$raw")
  ours_per_frame=$(awk -v t="$ours_ms" -v f=$frames 'BEGIN { printf "%.2f", t / f }')
  for codec in x264 qtrle gif; do
    case $codec in
      x264) format=bgr0; out=$work/out.264; args=(-c:v libx264rgb -preset ultrafast -qp 0 -f h264) ;;
      qtrle) format=rgb24; out=$work/out.mov; args=(-c:v qtrle -f mov) ;;
      gif) format=rgb8; out=$work/out.gif; args=(-c:v gif -f gif) ;;
    esac
    base=$(ffmpeg_seconds "$raw" -pix_fmt $format -f null -)
    total=$(ffmpeg_seconds "$raw" -pix_fmt $format "${args[@]}" -y "$out")
    bytes=$(stat -c %s "$out")
    awk -v s="$sequence" -v ob="$ours_bytes" -v om="$ours_per_frame" -v c="$codec" -v b="$bytes" \
      -v total="$total" -v base="$base" -v f=$frames 'BEGIN {
        ms = (total - base) * 1000 / f; if (ms < 0.01) ms = 0.01
        printf "| %s | %d | %.2f | %s | %d | %.2f | %.2fx | %.1fx |\n", s, ob, om, c, b, ms, b / ob, ms / om }'
    rm -f "$out"
  done
  rm -f "$raw"
done
echo
echo "bytes: our movie stream without the 20480-byte player in front; ffmpeg's output file."
echo "time vs ours: how many times longer the codec takes per frame than our encoder."
