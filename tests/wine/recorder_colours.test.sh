#!/usr/bin/env bash
# The colour depth, chosen in the main dialog: recordings of a still picture shown with xwud on the
# 24-bit virtual screen (a title bar's #202020, the light greys #F3F3F3 and #E9E9E9, grey text, a pale
# blue and a gradient). "256 色" is checked at the start; its movie shows the screen's RGB332 codes and
# its records are byte for byte what the 256-colour codec has always made of that screen. With
# "真彩色" every decoded pixel of every frame is the screen's colour. After a restart of the program
# the choice is back at "256 色".
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
wine_start

PICTURE=$TAVREL_SOURCE/tests/wine/recorder/colour_picture.py
TOOL=$TAVREL_NATIVE_BUILD/tools/tavrel-movie
python3 "$PICTURE" picture "$WORK/picture.xwd" 240 140
xwud -in "$WORK/picture.xwd" -geometry +40+40 -noclick &
XWUD_PID=$!
trap 'kill $XWUD_PID 2>/dev/null || true; wine_cleanup' EXIT
end=$((SECONDS + 20))
until xdo search --onlyvisible --name '^xwud: colours$' >/dev/null 2>&1; do
  [ $SECONDS -lt $end ] || fail "xwud showed no picture"
  sleep 0.2
done

# Records the picture's inside (the area (46, 46) to (274, 174)) into FILE for a few frames; the
# screen is kept as the checker's screen file SCREEN meanwhile.
record_picture() {
  click_control 3004
  wait_selection
  drag 45 45 275 175
  save_as "$(windows_path "$1")"
  xdo mousemove 700 600  # the pointer off the picture
  # The first frame's payload of the whole picture alone makes the file the size wait_frames waits
  # for, so a second more makes sure of the frames the check asks for.
  wait_frames "$1" 4
  sleep 1.2
  import -window root -depth 8 "rgb:$WORK/shot.rgb"
  python3 "$PICTURE" screen "$WORK/shot.rgb" "$2"
  stop_recording
}

check_movie() {
  "$RECORDER_CHECK" "$1" --size 228 128 --min-frames 4 --screen "$2" "${SCREEN_SIZE%x*}" "${SCREEN_SIZE#*x}" 46 46 ||
    fail "$(basename "$1")"
  "$TOOL" info "$1" | grep -q "^colours:      $3" || fail "$(basename "$1"): info does not say $3"
}

start_recorder
[ "$(value text3006)" = "256 色" ] && [ "$(value text3007)" = "真彩色" ] ||
  fail "the depth buttons read '$(value text3006)' and '$(value text3007)'"
[ "$(value checked3006)$(value checked3007)" = 10 ] || fail "at the start '256 色' is not the choice"
record_picture "$WORK/codes.exe" "$WORK/codes.screen"
check_movie "$WORK/codes.exe" "$WORK/codes.screen" "256 colours"

click_control 3007
wait_probe '^checked3007=1$' 10
record_picture "$WORK/colours.exe" "$WORK/colours.screen"
check_movie "$WORK/colours.exe" "$WORK/colours.screen" "true colour"
[ "$(value checked3007)" = 1 ] || fail "the choice of true colour did not stay for the next recording"
# The movie is far larger than the codes, and still far below raw frames.
codes=$(stat -c %s "$WORK/codes.exe") colours=$(stat -c %s "$WORK/colours.exe")
echo "movies: 256 colours $codes bytes, true colour $colours bytes"
[ "$colours" -gt "$codes" ] || fail "the true-colour movie is no larger than the 256-colour one"

# No setting is kept: the next start offers 256 colours again.
click_control 3005
wait "$RECORDER_PID" || fail "the recorder ended with an error"
start_recorder
[ "$(value checked3006)$(value checked3007)" = 10 ] || fail "after a restart '256 色' is not the choice"
click_control 3005
wait "$RECORDER_PID" || true

# The true-colour movie plays in its own player: its window shows the screen's colours.
wine_bg "$WORK/colours.exe"
end=$((SECONDS + 30))
id=
while [ $SECONDS -lt $end ] && [ -z "$id" ]; do
  id=$(xdo search --onlyvisible --classname colours.exe 2>/dev/null | head -1) || true
  sleep 0.2
done
[ -n "$id" ] || fail "the true-colour movie shows no window"
echo "PASS"
