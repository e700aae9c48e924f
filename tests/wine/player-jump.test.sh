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
type_jump 123456  # the field takes five characters: 12345 is refused as well
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

# A movie past 4 GiB (a sparse file) plays to its end, and its last picture, which a record behind the
# 4 GiB mark painted (the first 100 pixels of the top row red), is shown after a jump to it.
frames=$("$PLAYER_MOVIES" huge "$STUB" "$WORK/huge.exe") || fail "the movie past 4 GiB could not be written"
# Played to its end (every record read), then back on its last picture through the go-to dialog,
# which replays the whole movie (no snapshot fits a frame this large): the dialog closes once the seek
# is done.
start_player "$WORK/huge.exe" huge
expect_caption huge-END 180
open_jump
type_jump $((frames - 1))
for _ in $(seq 240); do dialog_open || break; sleep 0.5; done
dialog_open && fail "the seek to the last frame of the movie past 4 GiB did not end"
sleep 1
client_geometry
import -window root "$WORK/huge.png"
red=$(convert "$WORK/huge.png" -format "%[hex:u.p{$((CX + 50)),$CY}]" info: | cut -c1-6)
beside=$(convert "$WORK/huge.png" -format "%[hex:u.p{$((CX + 150)),$CY}]" info: | cut -c1-6)
[ "$red" = E00000 ] && [ "$beside" = 000000 ] || fail "the last frame past 4 GiB is not shown: $red $beside"
finish_player
echo "huge: $frames frames, $(stat -c %s "$WORK/huge.exe") bytes played to the end"
rm -f "$WORK/huge.exe"

