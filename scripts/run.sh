#!/usr/bin/env bash
# The main job: sets up and builds, then runs the recorder.
#   With a display (DISPLAY set and reachable): starts Tavrel.exe under Wine in the Chinese locale on it
#   (the 32-bit recorder, or on a machine that cannot execute 32-bit code the x86-64 build of it).
#   Without one: runs the scripted demonstration on a virtual display (scripts/demo.sh), which records
#   a moving scene through the real interface, plays the movie it made, and leaves the movie and
#   screenshots in build/demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
source "$root/scripts/windows-target.sh"
echo
echo "Recorder: $root/build/win/recorder/Tavrel.exe (copy it to any Windows PC and run it)"
echo "Player:   $root/build/win/player/Player.exe"
echo "Here, Wine runs the $TAVREL_WINDOWS programs from $TAVREL_WIN_BUILD ($TAVREL_WINDOWS_WHY)."
echo

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export WINEPREFIX=${WINEPREFIX:-$root/build/run-$WINE_PREFIX_NAME}
  echo "Starting the recorder on $DISPLAY (Wine prefix $WINEPREFIX)..."
  LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 WINEDEBUG=-all "$WINE_LOADER" "$TAVREL_WIN_BUILD/recorder/Tavrel.exe"
else
  echo "No display: running the scripted demonstration on a virtual display."
  bash "$root/scripts/demo.sh" "$root/build/demo"
  echo "Movie and screenshots: $root/build/demo"
fi
