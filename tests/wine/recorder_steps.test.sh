#!/usr/bin/env bash
# Steps: during a recording over a window with five named buttons, xdotool clicks Alpha, right-clicks
# Bravo, double-clicks Charlie, holds Delta down for about 50 ms (less than a tick) and clicks Echo,
# which lies outside the capture area; presses on the area's outline and the stop's on the
# notification icon are no steps. The movie
# must hold exactly these six steps, each with the first frame recorded after its press (the first
# to show the window's press counter changed), its place in the area, its button and the button's
# name and window in its description. The movie then plays: at its end, Page Down goes to the first
# step, paused, with the step in the caption and a ring in its button's colour around its press (none yet around the
# next step's); Page Down and Page Up go on and back, the menu's "下一步" too, and Space plays on
# with the plain title.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
STEPS_EXE=$TAVREL_WIN_BUILD/tests/win/probe/steps.exe
wine_start

# The window with the buttons is the first program, so it may wait for Wine's services to start.
wine_bg "$STEPS_EXE" 60 60
wait_window steps 120 >/dev/null || fail "the window with the buttons did not appear"
start_recorder
activate "$(window_named Tavrel)"
xdo type --delay 30 "Steps demo"
wait_probe '^text3001=Steps demo$' 10
click_control 3004
wait_selection
# The capture area is the dragged rectangle without its one-pixel ring: (41, 41) to (459, 199).
drag 40 40 460 200
AREA_X=41 AREA_Y=41
save_as "$(windows_path "$WORK/steps.exe")"
wait_frames "$WORK/steps.exe" 3

# Button i's centre on the screen: the window at 60, 60, buttons 80 x 30 from client 10 + 90 i, 20.
# Echo's (i = 4) lies right of the area.
button_x() { echo $((60 + 10 + 90 * $1 + 40)); }
BUTTON_Y=95
click_button() {
  xdo mousemove "$(button_x "$1")" $BUTTON_Y
  sleep 0.4
  shift
  xdo "$@"
  sleep 1.2
}
click_button 0 click 1
click_button 1 click 3
click_button 2 click --repeat 2 --delay 80 1
click_button 3 mousedown 1 sleep 0.05 mouseup 1
click_button 4 click 1
# The outline's left edge is the dragged rectangle's, x = 40.
xdo mousemove 40 120
sleep 0.4
xdo click 1
sleep 1.2
stop_recording

# ---- The movie's steps -----------------------------------------------------------------------------
step_args=()
for i in 0 1 2 3 4; do
  x=$(($(button_x $i) - AREA_X)) y=$((BUTTON_Y - AREA_Y))
  name=$(echo Alpha Bravo Charlie Delta Echo | cut -d' ' -f$((i + 1)))
  case $i in
    1) step_args+=(--step right "$x" "$y" "$name") ;;
    2) step_args+=(--step left "$x" "$y" "$name" --step double "$x" "$y" "$name") ;;
    *) step_args+=(--step left "$x" "$y" "$name") ;;
  esac
done
# The steps program's press counter: a strip below its buttons, from client row 60 on.
"$RECORDER_CHECK" "$WORK/steps.exe" --title "Steps demo" --size 418 158 --strip $((60 + 20 - AREA_X)) $((60 + 80 - AREA_Y)) \
  "${step_args[@]}" | tee "$WORK/check.txt" ||
  fail "steps.exe"
mapfile -t LEADS < <(sed -n 's/^step .*lead=\([0-9]*\) .*/\1/p' "$WORK/check.txt")
mapfile -t FRAMES < <(sed -n 's/^step frame=\([0-9]*\) .*/\1/p' "$WORK/check.txt")

# ---- The player ------------------------------------------------------------------------------------
wine_bg "$WORK/steps.exe"
PLAYER_PID=$!
WIN=$(wait_window "Steps demo" 30) || fail "the movie's window did not appear"
caption() { xdo getwindowname "$WIN"; }
expect_caption() {
  local i
  for i in $(seq $((${2:-10} * 5))); do
    case "$(caption)" in $1) return 0 ;; esac
    sleep 0.2
  done
  fail "the caption is '$(caption)', not '$1'"
}
key() {
  xdo windowfocus --sync "$WIN" 2>/dev/null || true
  xdo key "$@"
  sleep 0.5
}
# True when a pixel of the ring, in the colour COLOUR of its button, lies where step k's ring passes
# right of its press: the ring's radius is 10 + lead x 12 / 1000 pixels at the step's frame, its pen
# 3 pixels wide.
ring_at() {
  local k=$1 colour=${3:-FF0000} X Y WIDTH HEIGHT SCREEN WINDOW cx r d
  eval "$(xdo getwindowgeometry --shell "$WIN")"
  shot "$WORK/shot.png"
  cx=$((X + $(button_x "$2") - AREA_X)) r=$((10 + LEADS[k] * 12 / 1000))
  for d in -3 -2 -1 0 1; do
    [ "$(pixel "$WORK/shot.png" $((cx + r + d)) $((Y + BUTTON_Y - AREA_Y)))" = "$colour" ] && return 0
  done
  return 1
}
expect_caption "Steps demo-END" 40
key Next
expect_caption "Steps demo - 步骤 1/6: 左键单击“Alpha”*，窗口“steps”"
ring_at 0 0 || fail "no ring around the first step's press"
ring_at 1 1 00FF00 && fail "a ring around the second step's press at the first step's frame"
key Next
expect_caption "Steps demo - 步骤 2/6: 右键单击“Bravo”*"
ring_at 1 1 00FF00 || fail "no green ring around the second step's (right) press"
# Charlie's two presses fall on one frame or on two: Page Down stops once or twice before Delta.
key Next
expect_caption "Steps demo - 步骤 3/6: 左键单击“Charlie”*"
key Next
case "$(caption)" in *"步骤 4/6"*) key Next ;; esac
expect_caption "Steps demo - 步骤 5/6: 左键单击“Delta”*"
ring_at 4 3 || fail "no ring around the 50 ms press"
key Next
expect_caption "Steps demo - 步骤 6/6: 左键单击“Echo”*"
# Past the last step Page Down stays.
key Next
expect_caption "Steps demo - 步骤 6/6: *"
key Prior
expect_caption "Steps demo - 步骤 5/6: *"
key Prior
expect_caption "Steps demo - 步骤 4/6: 双击“Charlie”*"
# Back from the double-click's second press: to its first, unless both fell on one frame.
back=3
[ "${FRAMES[2]}" = "${FRAMES[3]}" ] && back=2
key Prior
expect_caption "Steps demo - 步骤 $back/6: *"
# The menu's "下一步", the fifth item.
eval "$(xdo getwindowgeometry --shell "$WIN")"
xdo mousemove $((X + 20)) $((Y + 20)) click 3
sleep 0.5
xdo key Down Down Down Down Down Return
sleep 0.5
expect_caption "Steps demo - 步骤 $((back + 1))/6: *"
key space
expect_caption "Steps demo"
key Escape
code=0
wait "$PLAYER_PID" || code=$?
[ "$code" = 0 ] || fail "the player ended with exit code $code"
echo "PASS"
