#!/usr/bin/env bash
# Builds static zlib, libpng and giflib for Windows from Debian's source packages, for the PNG and GIF
# export of the Windows builds of tavrel-movie.
#   build-images-mingw.sh SOURCE_DIR INSTALL_PREFIX HOST  (HOST: i686-w64-mingw32 or x86_64-w64-mingw32)
set -euo pipefail
source "$(dirname "$0")/debian-source.sh"
src=$1 prefix=$2 host=$3
mkdir -p "$src" "$prefix/include" "$prefix/lib"
src=$(cd "$src" && pwd) prefix=$(cd "$prefix" && pwd)
cd "$src"

fetch zlib 'zlib_*.orig.tar.*'
fetch libpng1.6 'libpng1.6_*.orig.tar.*'
fetch giflib 'giflib_*.orig.tar.*'

unpack zlib 'zlib_*.orig.tar.*'
# Debian's zlib tarball has no win32/ makefile; the library is its top-level C files.
(cd zlib && for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
   inftrees trees uncompr zutil; do
   $host-gcc -O2 -c $f.c -o $f.o
 done && $host-ar rcs libz.a *.o)
cp zlib/libz.a "$prefix/lib/"
cp zlib/zlib.h zlib/zconf.h "$prefix/include/"

unpack libpng 'libpng1.6_*.orig.tar.*'
(cd libpng && ./configure --host=$host --disable-shared --prefix="$prefix" \
   CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS="-O2" >/dev/null &&
 make -j"$(nproc)" libpng16.la >/dev/null && make install-libLTLIBRARIES install-nodist_pkgincludeHEADERS \
   install-pkgincludeHEADERS install-header-links install-library-links >/dev/null 2>&1)

unpack giflib 'giflib_*.orig.tar.*'
# With its colour quantiser (GifQuantizeBuffer, for the GIF of a true-colour movie), which upstream
# moved out of the library and Debian's libgif keeps in it and declares in gif_lib.h; the same here.
(cd giflib && for f in dgif_lib egif_lib gifalloc gif_err gif_hash openbsd-reallocarray quantize; do
   $host-gcc -O2 -c $f.c -o $f.o
 done && $host-ar rcs libgif.a dgif_lib.o egif_lib.o gifalloc.o gif_err.o gif_hash.o openbsd-reallocarray.o quantize.o)
cp giflib/libgif.a "$prefix/lib/"
if grep -q GifQuantizeBuffer giflib/gif_lib.h; then
  cp giflib/gif_lib.h "$prefix/include/"
else
  sed '/^ Error handling and reporting/i\
 Color table quantization\
******************************************************************************/\
int GifQuantizeBuffer(unsigned int Width, unsigned int Height, int *ColorMapSize, GifByteType *RedInput,\
                      GifByteType *GreenInput, GifByteType *BlueInput, GifByteType *OutputBuffer,\
                      GifColorType *OutputColorMap);\
\
/******************************************************************************' giflib/gif_lib.h >"$prefix/include/gif_lib.h"
fi
touch "$prefix/lib/giflib-quantize.stamp"
echo "zlib, libpng and giflib for Windows installed in $prefix"
