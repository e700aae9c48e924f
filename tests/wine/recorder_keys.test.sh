#!/usr/bin/env bash
# Keys: two recordings over a window with a plain and a password field. In each, xdotool types "pw"
# and presses Escape in the password field while the window is too busy to take the click into it,
# then types "secret" and presses Escape and Ctrl+A there; presses Ctrl+S, Alt+F4 and Escape in the
# plain field and types "Hello" there; then pauses the recording with Ctrl+Shift+F9, presses F5 while
# it is paused, resumes it and stops it with Ctrl+Shift+F10. The first recording, with "记录所有按键"
# off as the dialog starts, must keep exactly the three shortcuts; the second, with it ticked, also
# the word's five characters (the H with Shift). Neither keeps a key pressed in the password field,
# while paused, or of Tavrel's hotkeys. Every press's frame is one of the movie's, in the order of the
# presses, and the first to show the window's key counter changed. At the next start the box is off.
# The password field comes before Alt+F4: under Wine, a click right after it during a recording does
# not move the focus.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
KEYS_EXE=$TAVREL_WIN_BUILD/tests/win/probe/keys.exe
KEYS_CHECK=$TAVREL_NATIVE_BUILD/tests/wine/recorder/keys_check
wine_start

# The window with the fields is the first program, so it may wait for Wine's services to start.
wine_bg "$KEYS_EXE" 60 60
wait_window keys 120 >/dev/null || fail "the window with the fields did not appear"
start_recorder
probe >/dev/null
[ "$(value text3008)" = "记录所有按键" ] || fail "check box 3008 reads '$(value text3008)'"
[ "$(value checked3008)" = 0 ] || fail "记录所有按键 is ticked as the recorder starts"

# The stop hotkey goes to the keys window, where a key that is kept would be recorded.
press() {
  xdo windowfocus --sync "$(window_named keys)"
  xdo key "$@"
}
# A click into a field makes the window Wine's foreground window and gives the field the focus. The
# fields' centres: client (10 + 100, 10 + 12) and (10 + 100, 50 + 12) of the window at 60, 60; a right
# press on the strip below them keeps the window busy for 1.5 s.
FIELD_X=170 PLAIN_Y=82 PASSWORD_Y=122 STRIP_Y=175
field() {
  xdo mousemove $FIELD_X "$1"
  sleep 0.2
  xdo click 1
  sleep 0.4
}
key() {
  xdo key "$@"
  sleep 0.6
}

# Records into the movie $1 with the all-keys box as it is and checks the movie holds exactly the
# presses given after it (key code, modifiers and character as keys_check prints them).
record_and_check() {
  local movie=$1
  shift
  activate "$(window_named Tavrel)"
  probe >/dev/null
  click_control 3004
  wait_selection
  # The capture area is the dragged rectangle without its ring: (41, 41) to (399, 239). The key
  # counter's strip of the keys window lies from client row 90 down.
  drag 40 40 400 240
  save_as "$(windows_path "$movie")"
  wait_frames "$movie" 3
  # The window is busy as the password field is clicked and typed into: the hook sees "pw" and
  # Escape while the plain field still has the focus, and the window moves the focus after them.
  field $PLAIN_Y
  xdo mousemove $FIELD_X $STRIP_Y click 3
  sleep 0.2
  xdo mousemove $FIELD_X $PASSWORD_Y click 1
  xdo type --delay 50 pw
  xdo key Escape
  sleep 2
  xdo type --delay 120 secret
  key Escape
  key ctrl+a
  field $PLAIN_Y
  key ctrl+s
  key alt+F4
  key Escape
  xdo type --delay 120 Hello
  sleep 0.6
  key ctrl+shift+F9
  key F5
  key ctrl+shift+F9
  stop_recording ctrl+shift+F10
  "$KEYS_CHECK" "$movie" --strip $((60 + 100 - 41)) $((60 + 110 - 41)) | tee "$WORK/keys.txt" ||
    fail "$(basename "$movie")"
  sed -n 's/^key frame=[0-9]* lead=[0-9]* //p' "$WORK/keys.txt" >"$WORK/got.txt"
  printf '%s\n' "$@" >"$WORK/expected.txt"
  diff "$WORK/expected.txt" "$WORK/got.txt" || fail "$(basename "$movie") keeps other presses than expected"
  # The shortcuts, 0.6 s apart, fall on frames of their own.
  mapfile -t FRAMES < <(sed -n 's/^key frame=\([0-9]*\) .*/\1/p' "$WORK/keys.txt")
  [ "${FRAMES[0]}" -lt "${FRAMES[1]}" ] && [ "${FRAMES[1]}" -lt "${FRAMES[2]}" ] ||
    fail "the shortcuts share frames: ${FRAMES[*]:0:3}"
}

SHORTCUTS=("key=0x53 mods=1 char=0x0000" "key=0x73 mods=2 char=0x0000" "key=0x1B mods=0 char=0x0000")
record_and_check "$WORK/shortcuts.exe" "${SHORTCUTS[@]}"

activate "$(window_named Tavrel)"
click_control 3008
wait_probe '^checked3008=1$' 10 || fail "a click does not tick 记录所有按键"
record_and_check "$WORK/all.exe" "${SHORTCUTS[@]}" "key=0x48 mods=4 char=0x0048" "key=0x45 mods=0 char=0x0065" \
  "key=0x4C mods=0 char=0x006C" "key=0x4C mods=0 char=0x006C" "key=0x4F mods=0 char=0x006F"

# The box is off again at the next start.
activate "$(window_named Tavrel)"
xdo key alt+F4
timeout 20 tail --pid="$RECORDER_PID" -f /dev/null || fail "Alt+F4 did not end the recorder"
start_recorder
probe >/dev/null
[ "$(value checked3008)" = 0 ] || fail "记录所有按键 is ticked again after a restart"
echo "PASS"
