#!/usr/bin/env bash
# Builds static x264 and the FFmpeg libraries for Windows from Debian's source packages, for the MP4
# export of the Windows builds of tavrel-movie. Only what that export uses is built: the libx264 and
# libx264rgb encoders, FFmpeg's own AAC encoder (for a narrated movie's sound), the mp4 muxer and
# swscale; every other component is left out so that the build stays short.
#   build-ffmpeg-mingw.sh SOURCE_DIR INSTALL_PREFIX HOST  (HOST: i686-w64-mingw32 or x86_64-w64-mingw32)
set -euo pipefail
source "$(dirname "$0")/debian-source.sh"
src=$1 prefix=$2 host=$3
mkdir -p "$src" "$prefix"
src=$(cd "$src" && pwd) prefix=$(cd "$prefix" && pwd)
cd "$src"
fetch x264 'x264_*.orig.tar.*'
fetch ffmpeg 'ffmpeg_*.orig.tar.*'
jobs=$(nproc)

# x264 keeps its assembly (nasm): it is most of the encoder's speed.
unpack x264 'x264_*.orig.tar.*'
(cd x264 && ./configure --host="$host" --cross-prefix="$host-" --prefix="$prefix" --enable-static \
   --disable-cli --bit-depth=8 --disable-opencl --disable-avs --disable-swscale --disable-lavf \
   --disable-ffms --disable-gpac --disable-lsmash >configure.log ||
   { echo "x264's configure failed: $(tail -n 3 configure.log)" >&2; exit 1; }
 make -j"$jobs" >/dev/null && make install-lib-static >/dev/null)

case $host in
  i686-*) arch=x86 ;;
  x86_64-*) arch=x86_64 ;;
  *) echo "unknown host $host" >&2; exit 1 ;;
esac
unpack ffmpeg 'ffmpeg_*.orig.tar.*'
# FFmpeg's own assembly is left out: none of it lies on the export's path except swscale's, whose
# inline-assembly converters remain.
(cd ffmpeg && PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" ./configure --prefix="$prefix" \
   --enable-cross-compile --target-os=mingw32 --arch=$arch --cross-prefix="$host-" --pkg-config=pkg-config \
   --pkg-config-flags=--static --enable-static --disable-shared --enable-gpl --disable-autodetect \
   --enable-w32threads --disable-everything --disable-programs --disable-doc --disable-network \
   --disable-avdevice --disable-avfilter --disable-postproc --disable-swresample --disable-x86asm \
   --disable-debug --enable-libx264 --enable-encoder=libx264,libx264rgb,aac --enable-muxer=mp4 \
   >configure.log 2>&1 || { echo "FFmpeg's configure failed: $(tail -n 3 configure.log)" >&2; exit 1; }
 make -j"$jobs" >/dev/null 2>&1 && make install >/dev/null 2>&1)
echo "x264 and FFmpeg (libavformat, libavcodec, libswscale, libavutil) for Windows installed in $prefix"
