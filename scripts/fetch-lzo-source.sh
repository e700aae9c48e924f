#!/usr/bin/env bash
# Unpacks Debian's lzo2 source package into a fresh folder, fetching it once per build folder.
#   fetch-lzo-source.sh SOURCE_DIR TREE     (the package stays in SOURCE_DIR, the sources go to TREE)
set -euo pipefail
src=$1 tree=$2
mkdir -p "$src"
cd "$src"
if ! ls lzo2_*.orig.tar.gz >/dev/null 2>&1; then
  apt-get source --download-only lzo2 >/dev/null
fi
rm -rf "$tree" && mkdir -p "$tree"
tar -xzf lzo2_*.orig.tar.gz -C "$tree" --strip-components=1
