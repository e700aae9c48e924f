# Shared set-up for the tests that run the real Windows programs under Wine on a virtual display.
# Source it from a test script; it needs TAVREL_WIN_BUILD (the Windows build folder) and
# TAVREL_NATIVE_BUILD (the native build folder) in the environment, as ctest sets them, and runs the
# programs with the Wine loader that scripts/windows-target.sh chooses (TAVREL_WINDOWS as ctest sets it,
# or else what this machine can execute).
#
#   wine_start            starts Xvfb on a free display and sets DISPLAY, WINEPREFIX and WORK
#   wine_run PROG ARGS    runs a Windows program in the Chinese locale (ANSI code page 936, GBK)
#   wine_bg PROG ARGS     the same in the background; its pid is in $!
#   window_named TEXT     the X window id whose name is TEXT (names are compared in full, in UTF-8)
#   wait_window TEXT [S]  waits up to S seconds (default 20) for such a window and prints its id
#   shot FILE             screenshot of the whole display
#   play_to_end MOVIE TITLE [S]  runs a movie, waits up to S seconds (default 30) for its caption
#                         TITLE-END, closes it with Esc and checks the exit code 0
# Everything started is ended when the script exits.
set -euo pipefail

: "${TAVREL_WIN_BUILD:?}" "${TAVREL_NATIVE_BUILD:?}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/windows-target.sh"
# WINE_LOG_PIXELS=144 (say) scales the display to 144 dots per inch, 150 %, in a prefix of its own,
# so that the tests sharing the ordinary prefix keep 96.
WINE_LOG_PIXELS=${WINE_LOG_PIXELS:-}
export WINEPREFIX=${TAVREL_WINEPREFIX:-$TAVREL_NATIVE_BUILD/$WINE_PREFIX_NAME${WINE_LOG_PIXELS:+-dpi$WINE_LOG_PIXELS}}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WORK=$(mktemp -d "$TAVREL_NATIVE_BUILD/wine-work.XXXXXX")
SCREEN_SIZE=${SCREEN_SIZE:-1024x768}
SCREEN_DEPTH=${SCREEN_DEPTH:-24}  # bits per pixel of the virtual screen

wine_cleanup() {
  # Wait for the server to go as well: a test that starts while the last one's server is still
  # shutting down can find its first program hanging.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  if [ "${KEEP_WORK:-0}" != 1 ]; then rm -rf "$WORK"; fi
}
trap wine_cleanup EXIT

wine_start() {
  # Xvfb picks a free display itself and writes its number: no race with other tests starting theirs.
  local n=
  Xvfb -displayfd 3 -screen 0 ${SCREEN_SIZE}x${SCREEN_DEPTH} -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    n=$(cat "$WORK/display" 2>/dev/null)
    [ -n "$n" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$n" ] || fail "no virtual display could be started"
  export DISPLAY=:$n
  xdpyinfo >/dev/null 2>&1 || fail "the virtual display :$n does not answer"
  # One prefix per build and loader, created once (wineboot takes about 15 s); a lock keeps parallel
  # tests apart. A prefix that cannot be made ends the test with Wine's own words.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tavrel-ready" ]; then
      if ! LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$WINE_LOADER" wineboot -i >"$WORK/wineboot.txt" 2>&1 ||
         ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
        fail "no Wine prefix could be made in $WINEPREFIX with $WINE_LOADER: $(tail -n 5 "$WORK/wineboot.txt")"
      fi
      # Wine 8 takes the dots per inch of the display from here.
      if [ -n "$WINE_LOG_PIXELS" ]; then
        "$WINE_LOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$WINE_LOG_PIXELS" /f \
          >"$WORK/reg.txt" 2>&1 && wineserver -w || fail "LogPixels could not be set: $(cat "$WORK/reg.txt")"
      fi
      touch "$WINEPREFIX/.tavrel-ready"
    fi
  ) 9>"$TAVREL_NATIVE_BUILD/$WINE_PREFIX_NAME.lock"
}

wine_run() { LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$WINE_LOADER" "$@"; }
wine_bg() { LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$WINE_LOADER" "$@" & }

window_named() {
  local id
  for id in $(LC_ALL=C.UTF-8 xdotool search --onlyvisible --name '.' 2>/dev/null); do
    if [ "$(LC_ALL=C.UTF-8 xdotool getwindowname "$id" 2>/dev/null)" = "$1" ]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

wait_window() {
  local i
  for i in $(seq $((${2:-20} * 10))); do
    window_named "$1" && return 0
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

shot() { import -window root "$1"; }

play_to_end() {
  local movie=$1 title=$2 seconds=${3:-30} pid win ended=0 code=0
  wine_bg "$movie"
  pid=$!
  win=$(wait_window "$title" 30) || fail "$movie opened no window named '$title'"
  for _ in $(seq $((seconds * 5))); do
    [ "$(LC_ALL=C.UTF-8 xdotool getwindowname "$win")" = "$title-END" ] && ended=1 && break
    sleep 0.2
  done
  [ "$ended" = 1 ] || fail "$movie did not play to its end (caption '$(LC_ALL=C.UTF-8 xdotool getwindowname "$win")')"
  LC_ALL=C.UTF-8 xdotool windowfocus --sync "$win" 2>/dev/null || true
  LC_ALL=C.UTF-8 xdotool key Escape
  wait "$pid" || code=$?
  [ "$code" = 0 ] || fail "$movie: the player ended with exit code $code"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
