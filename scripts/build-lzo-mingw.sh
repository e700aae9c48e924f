#!/usr/bin/env bash
# Builds a static liblzo2 for i686 Windows from Debian's lzo2 source package.
#   build-lzo-mingw.sh SOURCE_DIR INSTALL_PREFIX
set -euo pipefail
src=$1 prefix=$2
mkdir -p "$src"
cd "$src"
if ! ls lzo2_*.orig.tar.gz >/dev/null 2>&1; then
  apt-get source --download-only lzo2 >/dev/null
fi
rm -rf tree && mkdir tree
tar -xzf lzo2_*.orig.tar.gz -C tree --strip-components=1
cd tree
./configure --host=i686-w64-mingw32 --disable-shared --prefix="$prefix" \
  CFLAGS="-O2 -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables" >/dev/null
make -j"$(nproc)" >/dev/null
make install >/dev/null
echo "LZO for Windows installed in $prefix"
