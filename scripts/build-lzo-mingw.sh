#!/usr/bin/env bash
# Builds a static liblzo2 for Windows from Debian's lzo2 source package.
#   build-lzo-mingw.sh SOURCE_DIR INSTALL_PREFIX HOST     (HOST: i686-w64-mingw32 or x86_64-w64-mingw32)
set -euo pipefail
src=$1 prefix=$2 host=$3
bash "$(dirname "$0")/fetch-lzo-source.sh" "$src" "$src/tree"
cd "$src/tree"
./configure --host="$host" --disable-shared --prefix="$prefix" \
  CFLAGS="-O2 -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables" >/dev/null
make -j"$(nproc)" >/dev/null
make install >/dev/null
echo "LZO for Windows installed in $prefix"
