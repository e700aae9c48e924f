#!/usr/bin/env bash
# Installs what building and testing Tavrel needs on a Debian bookworm machine (run as root).
# Idempotent: packages already present are skipped, so a second run takes seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/exec32.sh"
# Where apt keeps its sources; a test points this at a folder of its own.
APT_ETC=${TAVREL_APT_ETC:-/etc/apt}

PACKAGES=(
  cmake make g++ clang libclang-rt-14-dev pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  liblzo2-dev libgtest-dev libbenchmark-dev libpng-dev libgif-dev
  libavcodec-dev libavformat-dev libswscale-dev nasm
  wine wine64 xvfb xdotool x11-utils x11-apps imagemagick
  fonts-wqy-microhei python3 dpkg-dev xz-utils e2fsprogs
  lld-14 chromium pulseaudio pulseaudio-utils
)
# 32-bit Wine runs the programs we ship, but needs Debian's i386 packages at exactly the versions of
# their amd64 twins, which a lagging mirror may not offer. It is installed in a step of its own, and
# where it cannot be, the tests run the x86-64 build instead (scripts/windows-target.sh).
WINE32=wine32:i386

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# apt-get update, with a failed index (a mirror in the middle of a sync, say) told in one line: the
# indexes that did come are enough for everything but, at worst, the 32-bit packages.
apt_update() {
  local log failed
  log=$(apt-get update -q -o DPkg::Lock::Timeout=900 2>&1) || true
  failed=$(printf '%s\n' "$log" | grep -E '^(E|W): Failed to fetch' || true)
  if [ -n "$failed" ]; then
    echo "setup: apt-get update: $(printf '%s\n' "$failed" | wc -l) package index(es) could not be fetched," \
      "going on without: $(printf '%s\n' "$failed" | head -n1 | cut -c4-)"
  fi
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=900 "$@"
}

need_update=0
# LZO and the image libraries for the Windows builds are compiled from Debian's source packages, which
# needs deb-src entries. They are derived from the machine's own apt sources, whatever mirror those name.
SRC_LIST=$APT_ETC/sources.list.d/tavrel-deb-src.sources
SRC_OLD=$APT_ETC/sources.list.d/tavrel-deb-src.list
if [ ! -f "$SRC_LIST" ] && [ ! -f "$SRC_OLD" ]; then
  if [ -f "$APT_ETC/sources.list.d/debian.sources" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$APT_ETC/sources.list.d/debian.sources" > "$SRC_LIST"
  elif [ -f "$APT_ETC/sources.list" ] && grep -q '^deb ' "$APT_ETC/sources.list"; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' "$APT_ETC/sources.list" > "$SRC_OLD"
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
  if ! installed "$p"; then missing+=("$p"); fi
done

updated=0
if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  apt_update
  updated=1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # Another apt (an automatic upgrade, a second build) may hold the lock for a while: wait for it.
  apt_install "${missing[@]}"
fi

# 32-bit Wine, last. A machine that cannot execute 32-bit code gets no i386 architecture at all.
if installed "$WINE32"; then
  :
elif ! tavrel_runs_32bit_code; then
  echo "setup: no 32-bit Wine: this machine cannot execute 32-bit x86 code"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=0
  fi
  # A run after a failed one asks the mirror again: it may have healed since.
  if [ $updated = 0 ]; then apt_update; fi
  echo "setup: installing $WINE32"
  if ! log=$(apt_install "$WINE32" 2>&1); then
    echo "setup: 32-bit Wine not installed ($WINE32): $(printf '%s\n' "$log" | grep -v '^ *$' | tail -n1)"
  fi
fi

# playwright-core drives Debian's chromium in the browser tests; it downloads no browser of its own.
web_tests=$root/tests/web
wanted=$(sed -n 's/.*"playwright-core": "\(.*\)".*/\1/p' "$web_tests/package.json")
installed_file=$web_tests/node_modules/playwright-core/package.json
have=
if [ -f "$installed_file" ]; then have=$(sed -n 's/^  "version": "\(.*\)".*/\1/p' "$installed_file"); fi
if [ "$have" != "$wanted" ]; then
  echo "setup: installing playwright-core $wanted for the browser tests"
  (cd "$web_tests" && npm ci --no-audit --no-fund >/dev/null)
fi
echo "setup: done"
