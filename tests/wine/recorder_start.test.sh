#!/usr/bin/env bash
# The ways into a recording besides a dragged rectangle, under Wine, driven as a user would: the main
# dialog's line on what the selection takes; Esc and the right button back to the dialog, no save
# dialog; a click on the scene's window while the band outlines it takes exactly that window, counts
# down in digits over it with no file made yet, and follows the window as xdotool moves it; Enter takes
# that area again; Space takes the whole screen (F its monitor as well); the icon and the stop hotkey
# during the countdown end the recording with no file made; a followed window that is closed leaves
# the area where it was.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
wine_start

STOP_KEY=ctrl+shift+F10
start_scene 60 60
scene=$(window_named scene)
start_recorder
read -r sw sh <<<"$(value screen)"
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Back from the selection as it was: the dialog, no icon, no selection window, and no save dialog.
expect_dialog_back() {  # after what
  wait_probe '^visible=1$' 20 || fail "$1 did not bring the dialog back"
  sleep 0.5
  probe >/dev/null
  grep -q '^window=' "$WORK/probe.txt" && fail "windows left after $1: $(grep '^window=' "$WORK/probe.txt")"
  wait_tray_gone
}

ring_is() {  # L T R B: the selection window is the ring with that bounding box
  grep -Eq "^window=#32770\|\|0 0 $sw $sh\|1\|$1$" "$WORK/probe.txt" ||
    fail "the selection window is not the ring $1: $(grep '^window=' "$WORK/probe.txt")"
}

# The countdown's square: 120 pixels, dark, centred on the area.
square_shown() {  # screenshot, area centre x y
  [ "$(pixel "$1" $(($2 - 57)) $(($3 - 57)))" = 202020 ]
}

# ---- The dialog says what the selection takes, under the buttons ------------------------------------
shot "$WORK/dialog.png"
read -r _ _ _ buttons <<<"$(value rect3004)"
read -r l _ r b <<<"$(value rect)"
convert "$WORK/dialog.png" -crop $((r - l - 20))x$((b - buttons - 8))+$((l + 10))+$((buttons + 2)) +repage \
  -trim +repage "$WORK/hint.png"
read -r w h <<<"$(identify -format '%w %h' "$WORK/hint.png")"
[ "$w" -ge 150 ] && [ "$h" -ge 18 ] || fail "under the buttons a text of ${w}x$h pixels, not two lines"

# ---- Esc, Enter with no area yet, and the right button ---------------------------------------------
click_control 3004
wait_selection
selection_key Return
sleep 1.5
probe >/dev/null
grep -q '另存为' "$WORK/probe.txt" && fail "Enter with no recording made yet opened the save dialog"
selection_up || fail "Enter with no recording made yet left the selection"
selection_key Escape
expect_dialog_back Esc

click_control 3004
wait_selection
# Over the scene, which closes at a right press: the press must not reach it either.
xdo mousemove 200 150 click 3
expect_dialog_back "the right button"
window_named scene >/dev/null || fail "the right button reached the window beneath the selection"

# ---- A click on a window: its rectangle, the countdown, the window followed ----------------------------
click_control 3004
wait_selection
xdo mousemove 200 150
sleep 0.2
xdo mousemove 201 151
band_colours="3FE0BF DF407F 1F20FF"
for attempt in $(seq 20); do
  shot "$WORK/hover.png"
  case " $band_colours " in *" $(pixel "$WORK/hover.png" 61 150) "*) break ;; esac
  sleep 0.25
done
for point in "61 150" "200 61" "358 150" "200 258"; do
  colour=$(pixel "$WORK/hover.png" $point)
  case " $band_colours " in *" $colour "*) ;; *) fail "no band around the window under the pointer at $point ($colour)" ;; esac
done
colour=$(pixel "$WORK/hover.png" 200 150)
case " C0E040 204080 E02000 " in *" $colour "*) ;; *) fail "the hovered window is covered ($colour)" ;; esac
xdo click 1
wait_probe '另存为' 30
ring_is "59 59 361 261"

save_as "$(windows_path "$WORK/one.exe")" countdown
chosen=$(now_ms)
# The digits in the middle of the area, one after the other, before any file is made: a file there
# before a screenshot that shows the countdown was made during it.
first=
end=$((SECONDS + 20))
while [ $SECONDS -lt $end ] && [ ! -e "$WORK/digit-next.png" ]; do
  made=0
  [ -e "$WORK/one.exe" ] && made=1
  shot "$WORK/count.png"
  if square_shown "$WORK/count.png" 210 160; then
    [ $made = 0 ] || fail "the movie was made during the countdown"
    convert "$WORK/count.png" -crop 120x120+150+100 +repage "$WORK/digit.png"
    white=$(convert "$WORK/digit.png" -fill black +opaque white -format '%[fx:int(mean*w*h)]' info:)
    [ "$white" -ge 200 ] || fail "the countdown's square shows no digit ($white white pixels)"
    if [ -z "$first" ]; then
      first=$WORK/digit-first.png
      cp "$WORK/digit.png" "$first"
    elif [ "$(compare -metric AE "$first" "$WORK/digit.png" null: 2>&1 || true)" != 0 ]; then
      cp "$WORK/digit.png" "$WORK/digit-next.png"
    fi
  elif [ $made = 1 ]; then
    break
  fi
  sleep 0.2
done
[ -n "$first" ] || fail "no countdown over the area"
[ -e "$WORK/digit-next.png" ] || fail "the countdown's digit never changed"
wait_frames "$WORK/one.exe" 1
started=$(($(now_ms) - chosen))
echo "first frame $started ms after the file was chosen"
[ $started -ge 2500 ] && [ $started -le 15000 ] || fail "the first frame came $started ms after the file was chosen"
sleep 1.2
xdo windowmove "$scene" 400 300
sleep 1.5
probe >/dev/null
ring_is "399 299 701 501"
xdo windowmove "$scene" 640 120
sleep 1.5
stop_recording
# Every frame is the window's content, wherever it was; a frame taken while it moved may lag.
"$RECORDER_CHECK" "$WORK/one.exe" --size 300 200 --min-frames 10 --unmatched 2 --scene 60 60 60 60 ||
  fail "one.exe"

# ---- Enter: the same area again -------------------------------------------------------------------------
xdo windowmove "$scene" 60 60
click_control 3004
wait_selection
selection_key Return
wait_probe '另存为' 30
ring_is "59 59 361 261"
save_as "$(windows_path "$WORK/two.exe")"
wait_frames "$WORK/two.exe" 1
sleep 1.5
stop_recording
"$RECORDER_CHECK" "$WORK/two.exe" --size 300 200 --min-frames 5 --scene 60 60 60 60 || fail "two.exe"

# ---- Space and F: the whole screen ------------------------------------------------------------------
click_control 3004
wait_selection
xdo mousemove 700 500
selection_key f
wait_probe '另存为' 30
ring_is "-1 -1 $((sw + 1)) $((sh + 1))"
cancel_save
expect_dialog_back "a cancelled save dialog"
click_control 3004
wait_selection
xdo mousemove 700 500
selection_key space
wait_probe '另存为' 30
ring_is "-1 -1 $((sw + 1)) $((sh + 1))"
save_as "$(windows_path "$WORK/three.exe")"
wait_frames "$WORK/three.exe" 1
sleep 1
stop_recording
"$RECORDER_CHECK" "$WORK/three.exe" --size "$sw" "$sh" --min-frames 3 || fail "three.exe"
size=$(value text3002) time=$(value text3003)

# ---- The icon and the stop hotkey during the countdown: no file ------------------------------------------
for how in icon hotkey; do
  click_control 3004
  wait_selection
  drag 100 100 300 200
  save_as "$(windows_path "$WORK/$how.exe")" countdown
  end=$((SECONDS + 10))
  until shot "$WORK/count.png" && square_shown "$WORK/count.png" 200 150; do
    [ $SECONDS -lt $end ] || fail "no countdown before the $how ended it"
    sleep 0.1
  done
  if [ $how = icon ]; then tray_click 1; else press $STOP_KEY; fi
  expect_dialog_back "the $how during the countdown"
  [ "$(value text3002)" = "$size" ] && [ "$(value text3003)" = "$time" ] ||
    fail "the $how during the countdown changed the fields to '$(value text3002)' '$(value text3003)'"
  shot "$WORK/after.png"
  square_shown "$WORK/after.png" 200 150 && fail "the countdown stayed on the screen after the $how"
  sleep 4
  [ -e "$WORK/$how.exe" ] && fail "the $how during the countdown left $how.exe"
done

# ---- A followed window closed during the recording: the area stays where the window was -------------
click_control 3004
wait_selection
xdo mousemove 200 150
sleep 0.5
xdo click 1
save_as "$(windows_path "$WORK/closed.exe")"
wait_frames "$WORK/closed.exe" 1
# Inside the area the mouse reaches the window itself, which closes at a right press.
xdo mousemove 200 150 click 3
end=$((SECONDS + 10))
while window_named scene >/dev/null; do
  [ $SECONDS -lt $end ] || fail "the scene did not close"
  sleep 0.2
done
sleep 1
probe >/dev/null
ring_is "59 59 361 261"
stop_recording
"$RECORDER_CHECK" "$WORK/closed.exe" --size 300 200 --min-frames 5 || fail "closed.exe"
echo "PASS"
