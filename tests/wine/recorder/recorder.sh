# Driving the recorder as a user would, for the tests/wine/recorder*.test.sh scripts and the
# demonstration. Source it after tests/wine/lib.sh and call wine_start first.
#
#   start_scene X Y         starts the animated scene at X, Y and waits for its window
#   start_recorder          starts Tavrel.exe and waits for its dialog; its pid is in RECORDER_PID
#   probe                   reads the recorder's state with probe.exe into $WORK/probe.txt and prints it
#   value KEY               a value of the last probe
#   wait_probe PATTERN [S]  probes until a line matches the extended regular expression
#   click_control ID        clicks the centre of a dialog control (rectangle from the last probe)
#   tray_visible            true while the notification area window shows an icon
#   wait_tray_gone          waits until the notification area window has gone (fails after 10 s)
#   tray_click BUTTON       clicks the first notification icon with mouse button 1 or 3
#   wait_selection          waits for the full-screen selection window
#   drag X1 Y1 X2 Y2        presses at the first point, moves to the second in steps, releases
#   activate ID             makes an X window the foreground window, as a click on it does
#   save_as PATH [countdown]
#                           answers the save dialog with a Windows path, confirmed with Shift held,
#                           which skips the countdown before the first frame; with "countdown", without
#   selection_key KEY       presses a key (xdotool name) on the selection window
#   cancel_save             closes the save dialog with Esc
#   pixel FILE X Y          RRGGBB of a screenshot's pixel
#   windows_path PATH       the Windows name (Z:...) of a Linux path
#   file_size FILE          its size in bytes, 0 while it does not exist
#   wait_size FILE BYTES    waits until the file holds more than BYTES bytes (fails after 60 s)
#   wait_frames FILE N      waits until the file is long enough for N frame records
#   press KEYS              presses keys (xdotool names) while the scene's window has the focus, as a
#                           user working in another program does
#   wait_tip PATTERN        rests the pointer on the notification icon until its tip matches the
#                           extended regular expression (whole tip)
#   stop_recording [KEYS]   stops the recording with the icon's left press, or with the keys given;
#                           waits for the dialog and keeps its size and time texts in STOP_SIZE and
#                           STOP_TIME
#   start_holder VK         starts a program that registers Ctrl+Shift+VK (decimal virtual-key code)
#                           and waits for its window; its pid is in HOLDER_PID
#   holder_caption VK       the caption of that program's window: "hotkey VK held PRESSES" or "refused"
: "${WORK:?source tests/wine/lib.sh first}"

PROBE_EXE=$TAVREL_WIN_BUILD/tests/win/probe/probe.exe
SCENE_EXE=$TAVREL_WIN_BUILD/tests/win/probe/scene.exe
TAVREL_EXE=$TAVREL_WIN_BUILD/recorder/Tavrel.exe
RECORDER_CHECK=$TAVREL_NATIVE_BUILD/tests/wine/recorder/recorder_check
HOLDER_EXE=$TAVREL_WIN_BUILD/tests/win/probe/hotkeyholder.exe

xdo() { LC_ALL=C.UTF-8 xdotool "$@"; }

# The scene is the first program of its test, so it also waits for Wine's services to start, which
# can take a minute on a busy machine under the 64-bit loader: it gets two minutes, and a scene that
# died says so at once.
start_scene() {
  local pid end=$((SECONDS + 120))
  wine_bg "$SCENE_EXE" "$@"
  pid=$!
  until window_named scene >/dev/null; do
    kill -0 "$pid" 2>/dev/null || fail "the scene program ended before it showed its window"
    [ $SECONDS -lt $end ] || fail "no window named 'scene' appeared within 2 minutes"
    sleep 0.2
  done
}

start_recorder() {
  wine_bg "$TAVREL_EXE"
  RECORDER_PID=$!
  wait_window Tavrel 60 >/dev/null
  wait_probe '^visible=1$' 30
}

probe() {
  wine_run "$PROBE_EXE" 2>/dev/null | tr -d '\r' >"$WORK/probe.txt" || true
  cat "$WORK/probe.txt"
}

value() { sed -n "s/^$1=//p" "$WORK/probe.txt" | head -n 1; }

wait_probe() {
  local end=$((SECONDS + ${2:-20}))
  while [ $SECONDS -lt $end ]; do
    probe >/dev/null
    grep -Eq "$1" "$WORK/probe.txt" && return 0
    sleep 0.2
  done
  echo "the recorder never showed '$1'; last probe:" >&2
  cat "$WORK/probe.txt" >&2
  return 1
}

click_control() {
  local l t r b
  read -r l t r b <<<"$(value "rect$1")"
  xdo mousemove $(((l + r) / 2)) $(((t + b) / 2))
  sleep 0.2
  xdo click 1
}

tray_visible() { window_named "Wine System Tray" >/dev/null; }

# The notification area belongs to another process, which hides its window in its own time.
wait_tray_gone() {
  local end=$((SECONDS + 10))
  while tray_visible; do
    [ $SECONDS -lt $end ] || fail "the notification icon stayed"
    sleep 0.1
  done
}

tray_click() {
  local id X Y WIDTH HEIGHT SCREEN WINDOW
  id=$(window_named "Wine System Tray") || fail "no notification area window"
  eval "$(xdo getwindowgeometry --shell "$id")"
  xdo mousemove $((X + 10)) $((Y + 10))
  sleep 0.2
  xdo click "$1"
}

# The selection window is the recorder's only window that covers the whole screen: its X window id.
selection_id() {
  local size
  size=$(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p')
  xwininfo -root -tree 2>/dev/null |
    sed -n "s/^ *\(0x[0-9a-f]*\) .*(\"tavrel.exe\" \"tavrel.exe\") *$size+0+0.*/\1/p" | head -n 1
}

selection_up() { [ -n "$(selection_id)" ]; }

wait_selection() {
  local end=$((SECONDS + ${1:-20}))
  while [ $SECONDS -lt $end ]; do
    selection_up && return 0
    sleep 0.1
  done
  fail "the selection window did not come up"
}

drag() {
  local x1=$1 y1=$2 x2=$3 y2=$4 i
  xdo mousemove "$x1" "$y1"
  sleep 0.3
  xdo mousedown 1
  sleep 0.2
  for i in 1 2 3 4; do
    xdo mousemove $((x1 + (x2 - x1) * i / 4)) $((y1 + (y2 - y1) * i / 4))
    sleep 0.1
  done
  sleep 0.2
  [ "${DRAG_HOLD:-0}" = 1 ] && return 0  # the caller releases (to look at the screen mid-drag)
  xdo mouseup 1
}

# Without a window manager, giving an X window the focus does not always make it Wine's foreground
# window (after a click on the notification icon it does not): a click on the window's bottom-left
# corner, where the recorder's and the save dialog's backgrounds are, does.
activate() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdo getwindowgeometry --shell "$1")"
  xdo mousemove $((X + 3)) $((Y + HEIGHT - 3))
  sleep 0.1
  xdo click 1
  xdo windowfocus --sync "$1"
  sleep 0.2
}

cancel_save() {
  local id
  id=$(wait_window "另存为" 30) || fail "no save dialog"
  activate "$id"
  xdo key Escape
}

save_as() {
  local id
  id=$(wait_window "另存为" 30) || fail "no save dialog"
  activate "$id"
  xdo key ctrl+a
  xdo type --delay 20 "$1"
  if [ "${2:-}" = countdown ]; then
    xdo key Return
  else
    xdo keydown shift
    xdo key Return
    xdo keyup shift
  fi
}

# The selection window has the keyboard focus as it opens; X is told so first (a click on the window
# would take the window beneath).
selection_key() {
  local id
  id=$(selection_id)
  [ -n "$id" ] || fail "no selection window to press $1 on"
  xdo windowfocus --sync "$id"
  xdo key "$1"
}

pixel() { convert "$1" -format "%[hex:u.p{$2,$3}]" info: | tr 'a-f' 'A-F' | cut -c1-6; }

windows_path() { echo "Z:${1//\//\\}"; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

wait_size() {
  local end=$((SECONDS + 60))
  while [ $SECONDS -lt $end ]; do
    [ "$(file_size "$1")" -gt "$2" ] && return 0
    sleep 0.1
  done
  fail "$1 did not grow past $2 bytes"
}

# Header 20546 bytes, 13 per record at least: the recording has really begun, however slowly the
# machine started it.
wait_frames() { wait_size "$1" $((20546 + 13 * $2 - 1)); }

# Wine sees keys only while one of its windows has the X keyboard focus; any of the prefix will do.
press() {
  xdo windowfocus --sync "$(window_named scene)"
  xdo key "$@"
}

# The tooltip shows after the pointer has rested on the icon, and follows the tip while it is shown;
# a pointer that moves off and back on shows it again.
wait_tip() {
  local id X Y WIDTH HEIGHT SCREEN WINDOW end=$((SECONDS + 20))
  id=$(window_named "Wine System Tray") || fail "no notification area window"
  eval "$(xdo getwindowgeometry --shell "$id")"
  xdo mousemove $((X + 10)) $((Y + 60))
  xdo mousemove $((X + 10)) $((Y + 10))
  while [ $SECONDS -lt $end ]; do
    probe >/dev/null
    grep -Eq "^tooltip=($1)\$" "$WORK/probe.txt" && return 0
    sleep 0.2
  done
  fail "the icon's tip is not '$1': $(grep '^tooltip=' "$WORK/probe.txt" || echo none shown)"
}

stop_recording() {
  if [ $# -gt 0 ]; then press "$@"; else tray_click 1; fi
  wait_probe '^visible=1$' 20
  # The fields are filled once the capture thread has finished the movie.
  wait_probe '^text3003=.+$' 20
  STOP_SIZE=$(value text3002)
  STOP_TIME=$(value text3003)
  echo "stopped: '$STOP_SIZE' '$STOP_TIME'"
  [ "$(value focus)" = 3001 ] || fail "focus is on $(value focus) after the stop, not the title field"
  wait_tray_gone
  grep -q '^window=' "$WORK/probe.txt" && fail "windows left after the stop: $(grep '^window=' "$WORK/probe.txt")"
  return 0
}

holder_caption() {
  local id
  for id in $(xdo search --onlyvisible --name "^hotkey $1 " 2>/dev/null); do
    xdo getwindowname "$id"
    return 0
  done
  return 1
}

# Its window goes to the lower right, away from the scene and the capture areas; its pid is in
# HOLDER_PID.
start_holder() {
  local end=$((SECONDS + 30))
  wine_bg "$HOLDER_EXE" "$1" 700 600
  HOLDER_PID=$!
  until holder_caption "$1" >/dev/null; do
    [ $SECONDS -lt $end ] || fail "the hotkey holder showed no window"
    sleep 0.2
  done
}
