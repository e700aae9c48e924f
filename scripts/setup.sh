#!/usr/bin/env bash
# Installs what building and testing Tavrel needs on a Debian bookworm machine (run as root).
# Idempotent: packages already present are skipped, so a second run takes seconds.
set -euo pipefail

PACKAGES=(
  cmake make g++ clang libclang-rt-14-dev pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  liblzo2-dev libgtest-dev libbenchmark-dev libpng-dev libgif-dev
  libavcodec-dev libavformat-dev libswscale-dev nasm
  wine wine32:i386 wine64 xvfb xdotool x11-utils x11-apps imagemagick
  fonts-wqy-microhei python3 dpkg-dev xz-utils e2fsprogs
  lld-14 chromium
)

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

# LZO and the image libraries for the Windows builds are compiled from Debian's source packages, which
# needs deb-src entries. They are derived from the machine's own apt sources, whatever mirror those name.
SRC_LIST=/etc/apt/sources.list.d/tavrel-deb-src.sources
SRC_OLD=/etc/apt/sources.list.d/tavrel-deb-src.list
if [ ! -f "$SRC_LIST" ] && [ ! -f "$SRC_OLD" ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$SRC_LIST"
  elif [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > "$SRC_OLD"
  else
    echo "setup: no apt sources found to derive a deb-src entry from" >&2
    exit 1
  fi
  need_update=1
fi

missing=()
# The browser tests run on Node.js: the machine's own where it has one, else Debian's.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  # Mirrors outside the reachable registries may fail to update; the Debian ones are what we need.
  apt-get update -q -o DPkg::Lock::Timeout=900 || true
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # Another apt (an automatic upgrade, a second build) may hold the lock for a while: wait for it.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=900 \
    "${missing[@]}"
fi

# playwright-core drives Debian's chromium in the browser tests; it downloads no browser of its own.
web_tests=$(cd "$(dirname "$0")/../tests/web" && pwd)
wanted=$(sed -n 's/.*"playwright-core": "\(.*\)".*/\1/p' "$web_tests/package.json")
installed_file=$web_tests/node_modules/playwright-core/package.json
installed=
if [ -f "$installed_file" ]; then installed=$(sed -n 's/^  "version": "\(.*\)".*/\1/p' "$installed_file"); fi
if [ "$installed" != "$wanted" ]; then
  echo "setup: installing playwright-core $wanted for the browser tests"
  (cd "$web_tests" && npm ci --no-audit --no-fund >/dev/null)
fi
echo "setup: all packages present"
