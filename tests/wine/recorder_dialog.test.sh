#!/usr/bin/env bash
# The recorder's main dialog and area selection under Wine, driven with the mouse and keyboard: the
# dialog as it starts, Esc and Tab, Enter into the selection, the rubber band over the screen's
# picture, rectangles too small to record, the ring and the save dialog, cancelling, and the exit by
# "退出" (reached with Tab, pressed with Space) and by Alt+F4.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
wine_start

# A known picture under the area, so that the screen's content can be recognised mid-drag.
start_scene 60 60
start_recorder
probe >/dev/null

# ---- The dialog as it starts ---------------------------------------------------------------------
[ "$(value focus)" = 3001 ] || fail "focus is on control $(value focus), not the title field"
for id in 3001 3002 3003; do
  [ -z "$(value text$id)" ] || fail "field $id starts with '$(value text$id)'"
done
[ "$(value text3004)" = "选择区域" ] || fail "button 3004 reads '$(value text3004)'"
[ "$(value text3005)" = "退出" ] || fail "button 3005 reads '$(value text3005)'"
read -r l t r b <<<"$(value rect)"
read -r sw sh <<<"$(value screen)"
dx=$((l + r - sw)); dy=$((t + b - sh))
[ ${dx#-} -le 4 ] && [ ${dy#-} -le 4 ] || fail "dialog at $l $t $r $b is not centred on ${sw}x$sh"
tray_visible && fail "a notification icon is shown before any selection"

# Chinese texts are drawn as glyphs, not as the boxes of a missing font: the glyphs of a label differ
# from each other, where missing-glyph boxes would all look alike.
shot "$WORK/start.png"
distinct_glyphs() {  # control id, number of characters
  local l t r b i j
  read -r l t r b <<<"$(value "rect$1")"
  convert "$WORK/start.png" -crop $((r - l - 8))x$((b - t - 8))+$((l + 4))+$((t + 4)) +repage -trim +repage \
    "$WORK/label$1.png"
  local w h
  read -r w h <<<"$(identify -format '%w %h' "$WORK/label$1.png")"
  [ "$w" -ge $(($2 * 6)) ] && [ "$h" -ge 6 ] || fail "label of $1 is ${w}x$h pixels: no text drawn"
  for i in $(seq 0 $(($2 - 1))); do
    convert "$WORK/label$1.png" -crop $((w / $2))x$h+$((i * w / $2))+0 +repage "$WORK/glyph$1-$i.png"
  done
  for i in $(seq 0 $(($2 - 1))); do
    for j in $(seq $((i + 1)) $(($2 - 1))); do
      local diff
      diff=$(compare -metric AE "$WORK/glyph$1-$i.png" "$WORK/glyph$1-$j.png" null: 2>&1 || true)
      [ "${diff%% *}" != 0 ] || fail "characters $i and $j of control $1 look the same (boxes?)"
    done
  done
}
distinct_glyphs 3004 4
distinct_glyphs 3005 2

# ---- The keyboard alone ----------------------------------------------------------------------------
# Esc while a title is typed does not close the dialog or touch the title.
activate "$(window_named Tavrel)"
xdo type --delay 30 "Keys"
xdo key Escape
sleep 1
probe >/dev/null
[ "$(value visible)" = 1 ] || fail "Esc hid or closed the dialog"
[ "$(value text3001)" = Keys ] || fail "after Esc the title reads '$(value text3001)'"
grep -q '^window=' "$WORK/probe.txt" && fail "Esc opened a window: $(grep '^window=' "$WORK/probe.txt")"
tray_visible && fail "Esc started a selection"

# Tab visits the title, the two read-only fields, the checked colour depth, the all-keys and microphone
# boxes and both buttons, in that order and round again; Shift+Tab goes back.
expect_focus() {  # key, control id that must have the focus after it
  xdo key "$1"
  wait_probe "^focus=$2\$" 10 || fail "after $1 the focus is on $(value focus), not $2"
}
for id in 3002 3003 3006 3008 3009 3004 3005 3001; do expect_focus Tab $id; done
expect_focus shift+Tab 3005
expect_focus Tab 3001

# ---- Into the selection: the dialog goes, the icon comes, then the selection window ---------------
# Enter in the title field presses the default button "选择区域".
probe >/dev/null
xdo key Return
tray_first=0
end=$((SECONDS + 20))
while [ $SECONDS -lt $end ]; do
  tray_visible && tray_first=1
  if selection_up; then break; fi
  sleep 0.05
done
selection_up || fail "no selection window"
[ $tray_first = 1 ] || tray_visible || fail "no notification icon with the selection window"
[ $tray_first = 1 ] || fail "the selection window came before the notification icon"
probe >/dev/null
[ "$(value visible)" = 0 ] || fail "the dialog is still shown during the selection"
[ "$(value text3001)" = Keys ] || fail "the title reads '$(value text3001)' during the selection"

# A click, and a drag two pixels wide, enclose nothing to record: the selection goes on.
xdo mousemove 500 500 click 1
drag 500 300 502 400
drag 500 300 700 302
sleep 1.5
probe >/dev/null
grep -q '另存为' "$WORK/probe.txt" && fail "a rectangle too small to record opened the save dialog"
grep -Eq "^window=#32770\|\|0 0 $sw $sh\|1\|none$" "$WORK/probe.txt" ||
  fail "the selection window changed after empty rectangles: $(grep '^window=' "$WORK/probe.txt")"

# Mid-drag the window shows the screen as it was, the scene included, with the band inverted over it
# (red and blue inverted, green kept).
DRAG_HOLD=1 drag 100 100 300 200
shot "$WORK/drag.png"
xdo mouseup 1
scene_colours="C0E040 204080 E02000"
band_colours="3FE0BF DF407F 1F20FF"
inside=$(pixel "$WORK/drag.png" 200 150)
case " $scene_colours " in *" $inside "*) ;; *) fail "mid-drag, the area shows $inside instead of the scene" ;; esac
for point in "100 150" "200 100" "300 150" "200 200"; do
  colour=$(pixel "$WORK/drag.png" $point)
  case " $band_colours " in *" $colour "*) ;; *) fail "mid-drag, no band at $point ($colour)" ;; esac
done
[ "$(pixel "$WORK/drag.png" 512 384)" != "$(pixel "$WORK/start.png" 512 384)" ] ||
  fail "the hidden dialog is still in the picture"

# ---- The ring and the save dialog -----------------------------------------------------------------
wait_probe '另存为' 30
grep -Eq "^window=#32770\|\|0 0 $sw $sh\|1\|100 100 300 200$" "$WORK/probe.txt" ||
  fail "the selection window is not the ring of 100,100-300,200: $(grep '^window=' "$WORK/probe.txt")"
[ "$(value focustext)" = "new demo.exe" ] || fail "the save dialog proposes '$(value focustext)'"
# The ring's columns and rows are dotted red on white, the scene shows through inside and outside.
ring_colours() {  # the colours of a one-pixel line of the screenshot: width height x y
  convert "$WORK/save.png" -crop "$1x$2+$3+$4" +repage txt:- | sed -n 's/.* #\([0-9A-F]\{6\}\).*/\1/p' |
    sort -u | tr '\n' ' '
}
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  shot "$WORK/save.png"
  [ "$(ring_colours 1 98 100 101)" = "FF0000 FFFFFF " ] && break
  sleep 0.5
done
for line in "1 98 100 101" "1 98 299 101" "198 1 101 100" "198 1 101 199"; do
  [ "$(ring_colours $line)" = "FF0000 FFFFFF " ] || fail "the ring at $line is $(ring_colours $line)"
done
case " $scene_colours " in *" $(pixel "$WORK/save.png" 200 150) "*) ;; *) fail "the area is covered" ;; esac

# The icon ignores presses while no recording runs.
tray_click 1
tray_click 3
sleep 1
probe >/dev/null
[ "$(grep -c '^window=' "$WORK/probe.txt")" = 2 ] || fail "a press on the icon changed the windows"
[ "$(value visible)" = 0 ] || fail "a press on the icon brought the dialog back"

# A drag from the ring's left column to its bottom row while the save dialog is open (both ends on
# the ring, where the selection window still takes the mouse) takes no second rectangle.
drag 100 120 250 199
sleep 1
probe >/dev/null
[ "$(grep -c '^window=' "$WORK/probe.txt")" = 2 ] || fail "a drag from the ring opened a window"
grep -Eq "^window=#32770\|\|0 0 $sw $sh\|1\|100 100 300 200$" "$WORK/probe.txt" ||
  fail "a drag from the ring changed the ring: $(grep '^window=' "$WORK/probe.txt")"

# Cancelling returns to the dialog as it was, without the icon and the selection window.
cancel_save
wait_probe '^visible=1$' 20
sleep 0.5
probe >/dev/null
grep -q '^window=' "$WORK/probe.txt" && fail "windows left after a cancel: $(grep '^window=' "$WORK/probe.txt")"
[ "$(value text3001)" = Keys ] || fail "the title changed to '$(value text3001)' by a cancel"
for id in 3002 3003; do
  [ -z "$(value text$id)" ] || fail "field $id changed to '$(value text$id)' by a cancel"
done
wait_tray_gone

# Dragging up and to the left gives the same ring.
click_control 3004
wait_selection
drag 300 200 100 100
wait_probe '另存为' 30
grep -Eq "^window=#32770\|\|0 0 $sw $sh\|1\|100 100 300 200$" "$WORK/probe.txt" ||
  fail "an up-left drag gave another ring: $(grep '^window=' "$WORK/probe.txt")"
cancel_save
wait_probe '^visible=1$' 20

# The recorder must end within 20 s, with exit code 0.
expect_exit() {  # what ended it
  local code=0
  timeout 20 tail --pid="$RECORDER_PID" -f /dev/null || fail "$1 did not end the recorder"
  wait "$RECORDER_PID" || code=$?
  [ $code = 0 ] || fail "after $1 the recorder ended with exit code $code"
}

# "退出", reached with Tab from wherever the focus was left, and pressed with Space.
activate "$(window_named Tavrel)"
probe >/dev/null
for _ in 1 2 3 4 5; do
  [ "$(value focus)" = 3005 ] && break
  xdo key Tab
  sleep 0.3
  probe >/dev/null
done
[ "$(value focus)" = 3005 ] || fail "Tab never reached 退出 (focus on $(value focus))"
xdo key space
expect_exit "Space on 退出"

# Closing the dialog with Alt+F4 ends the program as well.
start_recorder
activate "$(window_named Tavrel)"
xdo key alt+F4
expect_exit Alt+F4
echo "PASS"
