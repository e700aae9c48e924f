#!/usr/bin/env bash
# The player's go-to dialog and scroll bars, driven as a viewer would: the dialog from the right-click
# menu jumps to a typed frame and the picture equals that frame decoded natively (also backwards, and
# to frame 0); FrameCount itself and Esc leave the dialog open; a window made smaller than the picture
# gets scroll bars, and the picture and the recorded cursor follow the arrows, page clicks and the thumb.
set -euo pipefail
source "$TAVREL_SOURCE/tests/wine/player/common.sh"
wine_start
make_movie plain
M=$WORK/plain.exe

start_player "$M" "$TITLE"
press space
expect_caption "$TITLE-PAUSE"

# Forward, then backward onto a frame that only paints over its predecessors: the replay from the
# first record must give exactly the picture plain playback gives.
jump_to 37
check "$M" 37
[ "$OVERLAY" = red ] || fail "paused after a jump, the time overlay is $OVERLAY, not red"
jump_to 14
check "$M" 14
jump_to 99
check "$M" 99
expect_caption "$TITLE-PAUSE"

# The dialog refuses FrameCount (100) and ignores Esc; the close box (Alt+F4) closes it without a jump.
open_jump
type_jump 100
dialog_open || fail "the go-to dialog accepted FrameCount as a frame number"
x key Escape
sleep 0.5
dialog_open || fail "Esc closed the go-to dialog"
type_jump 123456  # only the first five characters count: 12345 is refused as well
dialog_open || fail "the go-to dialog accepted 123456"
x key alt+F4
for _ in $(seq 20); do dialog_open || break; sleep 0.25; done
dialog_open && fail "Alt+F4 did not close the go-to dialog"
check "$M" 99

# Frame 0 is the black start picture; a negative number goes there as well.
jump_to 0
check "$M" black
jump_to 25
check "$M" 25
jump_to -3
check "$M" black
[ "$(caption)" = "$TITLE-PAUSE" ] || fail "a jump changed the caption to '$(caption)'"

# A jump while playing plays on from there.
jump_to 40
press space
expect_caption "$TITLE"
sleep 0.6
press space
identify "$M"
[ "$FRAME" -gt 40 ] && [ "$FRAME" -lt 60 ] || fail "after a jump to 40 and 0.6 s of play the player shows frame $FRAME"

# Smaller than the picture: scroll bars, and the picture follows them (line 1 px, page 10 px).
jump_to 37
x windowsize "$WIN" 200 120
sleep 1
find_bars "$M" 37
echo "scroll bars ${BAR} px, client ${CW}x$CH"
x mousemove $((CX + CW + BAR / 2)) $((CY + CH - BAR / 2)) click 1 sleep 0.2 click 1 sleep 0.2 click 1
check "$M" 37 0 3
[ "$OVERLAY" = red ] || fail "the overlay left the top-right corner of the smaller window"
x mousemove $((CX + CW - BAR - 5)) $((CY + CH + BAR / 2)) click 1
check "$M" 37 10 3
x mousemove $((CX + BAR / 2)) $((CY + CH + BAR / 2)) click 1
check "$M" 37 9 3
# A thumb dragged past the bar's end: the picture follows during the drag and stops at its bottom.
x mousemove $((CX + CW + BAR / 2)) $((CY + BAR + 10)) mousedown 1 sleep 0.3 \
  mousemove $((CX + CW + BAR / 2)) $((CY + 40)) sleep 0.3 mousemove $((CX + CW + BAR / 2)) $((CY + CH - 2))
check "$M" 37 9 $((160 - CH))
x mouseup 1
# Jumping while scrolled keeps the offsets.
jump_to 61
check "$M" 61 9 $((160 - CH))

finish_player
echo "player-jump: all checks passed"
