#!/usr/bin/env bash
# Unpacks Debian's lzo2 source package into a fresh folder, fetching it once per build folder.
#   fetch-lzo-source.sh SOURCE_DIR TREE     (the package stays in SOURCE_DIR, the sources go to TREE)
set -euo pipefail
source "$(dirname "$0")/debian-source.sh"
src=$1 tree=$2
mkdir -p "$src"
cd "$src"
fetch lzo2 'lzo2_*.orig.tar.*'
unpack "$tree" 'lzo2_*.orig.tar.*'
