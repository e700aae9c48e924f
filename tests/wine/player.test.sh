#!/usr/bin/env bash
# The player playing a movie, driven as a viewer would: the window's client area is the frame and its
# caption the title; frames come in order; Space pauses (caption + "-PAUSE", frozen picture, red time)
# and resumes at normal speed even after fast; Left/Right/Up/Down set the speed and its caption only
# while playing; without looping the movie ends black with "-END" and Space plays from frame 1; the
# menu's loop item makes it start over; the menu's time item hides the time at once; Esc ends with 0.
# Speeds are judged by the frames shown between two screenshots against the time between them, with
# margins: a loaded machine delivers timer ticks late, never early.
set -euo pipefail
source "$TAVREL_SOURCE/tests/wine/player/common.sh"

# Plays for about S seconds between two screenshots: A and B are the frames shown, MS the time between.
measure() {
  identify "$M"
  A=$FRAME
  local t0=$SHOT_MS
  sleep "$1"
  identify "$M"
  B=$FRAME
  MS=$((SHOT_MS - t0))
  [ "$A" -gt 0 ] && [ "$B" -gt 0 ] || fail "no frame of the movie while measuring the speed ($A, $B)"
}
wine_start
make_movie plain
M=$WORK/plain.exe

start_player "$M" "$TITLE"
client_geometry
[ "${CW}x$CH" = 256x160 ] || fail "the client area is ${CW}x$CH, not the frame's 256x160"
[ "$(caption)" = "$TITLE" ] || fail "the caption is '$(caption)', not the title"

# Frames in order, each exactly as decoded (picture and recorded cursor), with the time in cyan.
seen=()
for _ in 1 2 3 4 5; do
  identify "$M"
  seen+=("$FRAME")
  [ "$OVERLAY" = cyan ] || fail "while playing the time overlay is $OVERLAY, not cyan"
  sleep 0.2
done
echo "frames seen while playing: ${seen[*]}"
unknown=0
for f in "${seen[@]}"; do [ "$f" -ge 0 ] || unknown=$((unknown + 1)); done
[ "$unknown" -le 1 ] || fail "screens that are no frame of the movie: ${seen[*]}"
last=-1
for f in "${seen[@]}"; do
  [ "$f" -lt 0 ] && continue
  [ "$f" -ge "$last" ] || fail "frames out of order: ${seen[*]}"
  last=$f
done
[ "$last" -gt "${seen[0]}" ] || fail "the picture did not advance: ${seen[*]}"

# Fast, then pause: frozen, red; the speed keys do nothing while paused.
press Right
expect_caption "$TITLE-FAST"
measure 1.5
press space
expect_caption "$TITLE-PAUSE"
echo "fast: frame $A to $B in $MS ms"
# Faster than the normal speed could ever be (one frame per 200 ms).
[ $((B - A)) -gt $((MS / 200 + 2)) ] || fail "at fast speed the movie went from frame $A to $B in $MS ms"
identify "$M"
p=$FRAME
[ "$p" -gt 0 ] || fail "paused on no frame of the movie"
[ "$OVERLAY" = red ] || fail "paused, the time overlay is $OVERLAY, not red"
press Left
expect_caption "$TITLE-PAUSE"
press Right
expect_caption "$TITLE-PAUSE"
press Up Down
expect_caption "$TITLE-PAUSE"
sleep 0.8
check "$M" "$p"
[ "$OVERLAY" = red ] || fail "paused, the time overlay is $OVERLAY, not red"

# The time item of the menu hides and shows the overlay at once, also while paused.
menu_item 3
check "$M" "$p"
[ "$OVERLAY" = none ] || fail "with the time hidden the overlay is $OVERLAY"
menu_item 3
check "$M" "$p"
[ "$OVERLAY" = red ] || fail "with the time shown again the overlay is $OVERLAY"

# Space resumes at normal speed although the movie was fast before the pause.
press space
expect_caption "$TITLE"
measure 2
echo "normal: frame $A to $B in $MS ms"
[ $((B - A)) -ge 1 ] && [ $((B - A)) -le $((MS / 200 + 2)) ] ||
  fail "resumed, the movie went from frame $A to $B in $MS ms"
press Left
expect_caption "$TITLE-SLOW"
measure 2
echo "slow: frame $A to $B in $MS ms"
[ $((B - A)) -le $((MS / 500 + 2)) ] || fail "at slow speed the movie went from frame $A to $B in $MS ms"
press Up
expect_caption "$TITLE"
press Left Down
expect_caption "$TITLE"

# The end without looping: black, the last recorded cursor, no time, "-END"; Space plays from frame 1.
press Right
expect_caption "$TITLE-FAST"
expect_caption "$TITLE-END" 40
check "$M" end
[ "$OVERLAY" = none ] || fail "at the end the time overlay is $OVERLAY, not hidden"
press Left Right
expect_caption "$TITLE-END"
x windowfocus --sync "$WIN"
x key space sleep 0.05 key space
expect_caption "$TITLE-PAUSE"
identify "$M"
[ "$FRAME" -ge 0 ] && [ "$FRAME" -le 3 ] || fail "after the end, Space did not play from frame 1 (frame $FRAME)"

# Looping from the menu: at fast speed the movie starts over instead of ending.
menu_item 2
press space
expect_caption "$TITLE"
press Right
expect_caption "$TITLE-FAST"
wrapped=0 last=0
for _ in $(seq 60); do
  identify "$M"
  [ "$(caption)" = "$TITLE-FAST" ] || fail "looping, the caption became '$(caption)'"
  if [ "$FRAME" -ge 0 ]; then
    if [ "$FRAME" -lt "$last" ]; then wrapped=1; break; fi
    last=$FRAME
  fi
  sleep 0.2
done
[ "$wrapped" = 1 ] || fail "with looping on the movie did not start over (last frame $last)"

# The left button toggles play as Space does.
client_geometry
x mousemove $((CX + 100)) $((CY + 100)) click 1
expect_caption "$TITLE-PAUSE"
finish_player

# A true-colour movie plays pixel for pixel: every frame seen is one of its decoded frames exactly,
# and the paused picture is the frame the reader decoded.
make_movie truecolour
T=$WORK/truecolour.exe
start_player "$T" truecolour
client_geometry
[ "${CW}x$CH" = 200x120 ] || fail "the true-colour client area is ${CW}x$CH, not 200x120"
seen=()
for _ in 1 2 3 4; do
  identify "$T"
  seen+=("$FRAME")
  sleep 0.3
done
echo "true-colour frames seen while playing: ${seen[*]}"
known=0
for f in "${seen[@]}"; do [ "$f" -gt 0 ] && known=$((known + 1)); done
[ "$known" -ge 3 ] || fail "true colour: screens that are no frame of the movie: ${seen[*]}"
press space
expect_caption "truecolour-PAUSE"
identify "$T"
[ "$FRAME" -gt 0 ] || fail "the paused true-colour picture is no frame of the movie"
check "$T" "$FRAME"
finish_player
echo "player: all checks passed"
