#!/usr/bin/env bash
# The recording hotkeys under Wine, pressed as a user presses them while working in another program
# (the scene's window has the keyboard focus). First a recording over the whole width of the scene:
# Ctrl+Shift+F10 and Ctrl+Shift+F9 pressed while the selection window and then the save dialog are up
# change nothing; then Ctrl+Shift+F9 pauses it for about 3 s (the file stays as it is, the icon's tip
# says so) and resumes it (the tip comes back), it is paused again and stopped with Ctrl+Shift+F10. Its
# movie must be complete, every frame a picture of the scene, with one jump the length of the pause
# and no frame for it. Then another program takes Ctrl+Shift+F10, which the recorder must have given
# back: the next recording's tip says the hotkey is unavailable, a press reaches the other program
# and the recording runs on until the icon stops it, after which Ctrl+Shift+F9 is free again as well.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
wine_start

STOP_KEY=ctrl+shift+F10
PAUSE_KEY=ctrl+shift+F9
TIP='停止录像'
PAUSED_TIP="$TIP - 已暂停"
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Nothing but the selection or the save dialog may have changed after keys that must do nothing.
still_naming_or_selecting() {
  sleep 1
  probe >/dev/null
  [ "$(value visible)" = 0 ] || fail "the dialog came back after $1"
  tray_visible || fail "the icon went away after $1"
}

# The scene and the areas keep clear of the icon's tooltip, near the top-left corner.
start_scene 300 300
start_recorder

# ---- First recording: hotkeys before the capture runs do nothing; pause, resume, stop while paused ---
click_control 3004
wait_selection
press $STOP_KEY $PAUSE_KEY
still_naming_or_selecting "hotkeys on the selection window"
selection_up || fail "the selection window went away after the hotkeys"
# The area is the scene's full width, so that every frame shows the bar and so the scene's time.
drag 299 299 601 399
wait_window "另存为" 30 >/dev/null || fail "no save dialog"
press $STOP_KEY $PAUSE_KEY
still_naming_or_selecting "hotkeys during the save dialog"
window_named "另存为" >/dev/null || fail "the save dialog went away after the hotkeys"
save_as "$(windows_path "$WORK/one.exe")"
wait_frames "$WORK/one.exe" 1
wait_tip "$TIP"
sleep 1.5

press $PAUSE_KEY
paused_at=$(now_ms)
wait_tip "$PAUSED_TIP"
# A tick already under way when the key came may still write its frame.
sleep 0.5
size=$(file_size "$WORK/one.exe")
sleep $(((3000 - ($(now_ms) - paused_at)) / 1000)).5
[ "$(file_size "$WORK/one.exe")" = "$size" ] || fail "the paused recording went on writing"
press $PAUSE_KEY
pause_ms=$(($(now_ms) - paused_at))
echo "paused for $pause_ms ms"
wait_tip "$TIP"
wait_size "$WORK/one.exe" "$size"
sleep 1.5

press $PAUSE_KEY
wait_tip "$PAUSED_TIP"
stop_recording $STOP_KEY
"$RECORDER_CHECK" "$WORK/one.exe" --size 300 98 --untitled --scene 300 300 300 300 \
  --pause $((pause_ms - 600)) $((pause_ms + 600)) --stop "$STOP_SIZE" "$STOP_TIME" || fail "one.exe"

# ---- Second recording with Ctrl+Shift+F10 held by another program -------------------------------------
start_holder 121
holder=$HOLDER_PID
caption=$(holder_caption 121)
[ "$caption" = "hotkey 121 held 0" ] || fail "Ctrl+Shift+F10 was not free after the recording: '$caption'"
activate "$(window_named Tavrel)"
click_control 3004
wait_selection
drag 340 340 540 440
save_as "$(windows_path "$WORK/two.exe")"
wait_frames "$WORK/two.exe" 1
wait_tip "$TIP - 快捷键不可用: Ctrl\+Shift\+F10"
size=$(file_size "$WORK/two.exe")
press $STOP_KEY
end=$((SECONDS + 10))
until [ "$(holder_caption 121)" = "hotkey 121 held 1" ]; do
  [ $SECONDS -lt $end ] || fail "the press did not reach the program holding Ctrl+Shift+F10"
  sleep 0.2
done
wait_size "$WORK/two.exe" $((size + 13 * 3))
probe >/dev/null
[ "$(value visible)" = 0 ] || fail "Ctrl+Shift+F10 held by another program stopped the recording"
stop_recording
"$RECORDER_CHECK" "$WORK/two.exe" --size 198 98 --untitled --min-frames 4 --scene 300 300 341 341 \
  --stop "$STOP_SIZE" "$STOP_TIME" || fail "two.exe"
kill "$holder"
start_holder 120
caption=$(holder_caption 120)
kill "$HOLDER_PID"
[ "$caption" = "hotkey 120 held 0" ] || fail "Ctrl+Shift+F9 was not free after the recording: '$caption'"

click_control 3005
code=0
wait "$RECORDER_PID" || code=$?
[ $code = 0 ] || fail "the recorder ended with exit code $code"
echo "PASS"
