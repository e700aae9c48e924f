# Shared steps of the player's Wine tests: test movies on the built player stub, the player window
# driven with xdotool, and screenshots checked against the frames decoded natively (player_movies).
#
#   make_movie KIND             writes $WORK/KIND.exe (kinds: see PlayerMovies.cpp)
#   start_player EXE [NAME]     starts it; PLAYER_PID, WIN (its X window); waits for the caption NAME,
#                               or for a window of the program's class when NAME is not given
#   caption                     the player's caption (UTF-8)
#   expect_caption TEXT [S]     waits up to S seconds (default 10) for the caption to become TEXT
#   press KEY...                keys to the player window
#   client_geometry             sets CX CY CW CH: the client area on the screen
#   check MOVIE STATE [SX SY]   compares the client area with the decoded state; retries for a second
#                               (a paint may be under way); sets OVERLAY; fails the test on mismatch
#   identify MOVIE [SX SY]      sets FRAME (-1: no frame of the movie), OVERLAY and SHOT_MS (the time
#                               of the screenshot in milliseconds)
#   menu_item N                 right-click in the window and choose the Nth item of the menu
#   open_jump                   opens the go-to dialog from the menu; DLG is its X window
#   type_jump TEXT              replaces the dialog's frame number by TEXT and presses Enter
#   jump_to N                   both: the dialog must close
#   find_bars MOVIE STATE       after the window was made smaller than the picture: BAR (the scroll
#                               bars' thickness), found as the widest client area showing STATE
#   finish_player               Esc, then the exit code must be 0
source "$TAVREL_SOURCE/tests/wine/lib.sh"

PLAYER_MOVIES=$TAVREL_NATIVE_BUILD/tests/wine/player/player_movies
STUB=$TAVREL_WIN_BUILD/player/Player.exe
SCREEN_W=${SCREEN_SIZE%x*}
SCREEN_H=${SCREEN_SIZE#*x}
[ -x "$PLAYER_MOVIES" ] || fail "$PLAYER_MOVIES is not built"
[ -f "$STUB" ] || fail "$STUB is not built"
TITLE="播放测试 Tavrel"  # the plain movie's title (stored in GBK)
DIALOG="转到..."

x() { LC_ALL=C.UTF-8 xdotool "$@"; }

make_movie() { "$PLAYER_MOVIES" make "$1" "$STUB" "$WORK/$1.exe"; }

start_player() {
  local exe=$1 class i
  wine_bg "$exe"
  PLAYER_PID=$!
  if [ $# -ge 2 ]; then
    WIN=$(wait_window "$2" 30) || fail "$(basename "$exe"): no window named '$2'"
  else
    class=$(basename "$exe")
    WIN=
    for i in $(seq 300); do
      WIN=$(x search --onlyvisible --classname "^$class\$" 2>/dev/null | head -1) && [ -n "$WIN" ] && break
      sleep 0.1
    done
    [ -n "$WIN" ] || fail "$class: no window"
  fi
  x windowfocus --sync "$WIN" 2>/dev/null || true
}

caption() { x getwindowname "$WIN"; }

expect_caption() {
  local i
  for i in $(seq $((${2:-10} * 10))); do
    [ "$(caption)" = "$1" ] && return 0
    sleep 0.1
  done
  fail "caption is '$(caption)', expected '$1'"
}

press() {
  x windowfocus --sync "$WIN" 2>/dev/null || true
  x key --delay 150 "$@"
  sleep 0.3
}

# Wine maps the client area and the window's own parts inside the frame (scroll bars) to one X
# window; without a window manager nothing else is drawn around it.
client_geometry() {
  eval "$(x getwindowgeometry --shell "$WIN")"
  CX=$X CY=$Y CW=$WIDTH CH=$HEIGHT
  CW=$((CW - ${BAR_W:-0}))
  CH=$((CH - ${BAR_H:-0}))
}

snap() { import -window root -depth 8 "rgb:$WORK/shot.rgb"; }

geometry_args() { echo "$SCREEN_W $SCREEN_H $CX $CY $CW $CH ${1:-0} ${2:-0}"; }

check() {
  local movie=$1 state=$2 out i
  client_geometry
  for i in 1 2 3 4 5; do
    snap
    # shellcheck disable=SC2046
    if out=$("$PLAYER_MOVIES" compare "$movie" "$state" "$WORK/shot.rgb" $(geometry_args "${3:-0}" "${4:-0}")); then
      OVERLAY=${out##*overlay=}
      return 0
    fi
    sleep 0.25
  done
  cp "$WORK/shot.rgb" "$TAVREL_NATIVE_BUILD/player-failed-shot.rgb" 2>/dev/null || true
  echo "$out" >&2
  fail "$(basename "$movie"): the window does not show state $state (screen ${SCREEN_W}x$SCREEN_H saved as player-failed-shot.rgb)"
}

identify() {
  local out
  client_geometry
  snap
  SHOT_MS=$(date +%s%3N)
  # shellcheck disable=SC2046
  out=$("$PLAYER_MOVIES" identify "$1" "$WORK/shot.rgb" $(geometry_args "${2:-0}" "${3:-0}")) || true
  FRAME=$(echo "$out" | sed -n 's/^frame \(-*[0-9]*\).*/\1/p')
  OVERLAY=${out##*overlay=}
}

menu_item() {
  local i
  client_geometry
  x mousemove $((CX + CW / 2)) $((CY + CH / 2)) click 3
  sleep 0.5
  for i in $(seq "$1"); do x key Down; done
  x key Return
  sleep 0.3
}

open_jump() {
  menu_item 4
  DLG=$(wait_window "$DIALOG" 10) || fail "the go-to dialog did not open"
}

type_jump() {
  x windowfocus --sync "$DLG" 2>/dev/null || true
  x key --delay 50 End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
  x type --delay 50 -- "$1"
  x key Return
  sleep 0.5
}

dialog_open() { window_named "$DIALOG" >/dev/null; }

jump_to() {
  open_jump
  type_jump "$1"
  local i
  for i in $(seq 20); do
    dialog_open || return 0
    sleep 0.25
  done
  fail "the go-to dialog stayed open after a jump to $1"
}

find_bars() {
  local b
  BAR_W=0 BAR_H=0
  snap
  for b in $(seq 8 30); do
    BAR_W=$b BAR_H=$b
    client_geometry
    # shellcheck disable=SC2046
    if "$PLAYER_MOVIES" compare "$1" "$2" "$WORK/shot.rgb" $(geometry_args) >/dev/null; then
      BAR=$b
      return 0
    fi
  done
  fail "no client area of the resized window shows state $2"
}

finish_player() {
  local code=0
  press Escape
  wait "$PLAYER_PID" || code=$?
  [ "$code" = 0 ] || fail "the player ended with exit code $code"
}
