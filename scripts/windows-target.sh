# Which Windows programs this machine runs under Wine: sourced by the build, run and test scripts and by
# the Wine tests, after scripts/setup.sh has installed Wine.
#
# The 32-bit programs are what we ship, and they run under the 32-bit Wine loader. Some machines cannot
# execute 32-bit x86 code at all (their kernel refuses it: "Exec format error"), and on others set-up
# could not install 32-bit Wine; those run the x86-64 build of the same sources under the 64-bit loader
# instead. TAVREL_WINDOWS=i686 or x86_64 forces the choice. Sets and exports:
#   TAVREL_WINDOWS        i686 or x86_64
#   TAVREL_WINDOWS_WHY    why, in words
#   TAVREL_WIN_BUILD      its Windows build folder (build/win or build/win64), unless already set
#   WINE_LOADER, WINEARCH the Wine loader for it, and the architecture of a new Wine prefix
#   WINE_PREFIX_NAME      the name of a Wine prefix folder for it (a 64-bit prefix is kept apart)

_tavrel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$_tavrel_root/scripts/exec32.sh"

# The 32-bit programs need the 32-bit Wine loader, not only a kernel that runs 32-bit code: a machine
# may run 32-bit code (libc6-i386 brings a 32-bit dynamic loader) and still have no 32-bit Wine, when
# set-up could not install it. Once it is installed, the choice goes back to i686 by itself.
_tavrel_why_no_wine32() {
  if ! tavrel_runs_32bit_code; then echo "this machine cannot execute 32-bit x86 code"
  else echo "32-bit Wine is not installed (package wine32:i386)"; fi
}

case "${TAVREL_WINDOWS:-}" in
  "")
    if tavrel_wine32_starts; then
      TAVREL_WINDOWS=i686
      TAVREL_WINDOWS_WHY="this machine runs 32-bit programs under Wine"
    else
      TAVREL_WINDOWS=x86_64
      TAVREL_WINDOWS_WHY=$(_tavrel_why_no_wine32)
    fi ;;
  i686 | x86_64)
    TAVREL_WINDOWS_WHY=${TAVREL_WINDOWS_WHY:-"chosen by TAVREL_WINDOWS=$TAVREL_WINDOWS"} ;;
  *)
    echo "TAVREL_WINDOWS must be i686 or x86_64, not '$TAVREL_WINDOWS'" >&2
    return 1 ;;
esac

if [ "$TAVREL_WINDOWS" = i686 ]; then
  # The wrapper picks the 32-bit loader when wine32 is installed.
  WINE_LOADER=wine WINEARCH=win32 WINE_PREFIX_NAME=wine-prefix
  : "${TAVREL_WIN_BUILD:=$_tavrel_root/build/win}"
  if ! tavrel_wine32_starts; then
    echo "TAVREL_WINDOWS=i686, but the 32-bit Wine loader does not start: $(_tavrel_why_no_wine32)" >&2
    return 1
  fi
else
  # Called directly: the wrapper would pick the 32-bit loader whenever wine32 is installed.
  WINE_LOADER=/usr/lib/wine/wine64 WINEARCH=win64 WINE_PREFIX_NAME=wine-prefix64
  : "${TAVREL_WIN_BUILD:=$_tavrel_root/build/win64}"
fi
export TAVREL_WINDOWS TAVREL_WINDOWS_WHY TAVREL_WIN_BUILD WINE_LOADER WINEARCH WINE_PREFIX_NAME
