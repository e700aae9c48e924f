#!/usr/bin/env bash
# Recordings in one run of the recorder under Wine, made as a user makes them: a title typed, an area
# dragged over an animating scene, a file named in the save dialog, the recording stopped with a left
# press on the notification icon. First a recording into a file that cannot be written; then a
# titled one; the next starts right after that one stops, with an empty title, an up-left drag and a
# file name without extension, and "退出" follows right after its stop. Both movies are then read
# natively (frame size and place, every frame a picture of the scene, cursor records, title, the
# dialog's size and time texts at the stop, and no steps: the presses on the notification icon are
# none) and the first one is played in a window whose client area is the frame.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
wine_start

start_scene 60 60
start_recorder
# On a scaled display the dialog grows with its font: 142 dialog units are at least 213 pixels at 96
# dots per inch. A dialog that did not grow means the scaling never took effect.
read -r l _ r _ <<<"$(value rect)"
[ $((r - l)) -ge $((213 * ${WINE_LOG_PIXELS:-96} / 96)) ] ||
  fail "the dialog is $((r - l)) pixels wide at ${WINE_LOG_PIXELS:-96} dots per inch"

# ---- A recording into a file that cannot be written says so instead of a size ----------------------
# An immutable file cannot be replaced even by root; where the file system has no such attribute, this
# part is left out.
locked=$WORK/locked.exe
echo old >"$locked"
if chattr +i "$locked" 2>/dev/null; then
  trap 'chattr -i "$locked" 2>/dev/null || true; wine_cleanup' EXIT
  click_control 3004
  wait_selection
  drag 100 100 300 200
  save_as "$(windows_path "$locked")"
  # The save dialog asks before replacing an existing file, in a box of its own: yes, with Shift held,
  # as that key chooses the file.
  end=$((SECONDS + 20))
  until probe >/dev/null && [ "$(grep -c '^window=' "$WORK/probe.txt")" -ge 3 ]; do
    [ $SECONDS -lt $end ] || fail "no question before replacing the file: $(grep window= "$WORK/probe.txt")"
    sleep 0.2
  done
  xdo keydown shift
  xdo key y
  xdo keyup shift
  end=$((SECONDS + 20))
  while probe >/dev/null && grep -q '另存为' "$WORK/probe.txt"; do
    [ $SECONDS -lt $end ] || fail "the save dialog stayed open"
    sleep 0.2
  done
  sleep 1
  stop_recording
  [ "$STOP_SIZE" = "录像失败" ] || fail "a recording that could not write its file shows '$STOP_SIZE'"
  [ "$(cat "$locked")" = old ] || fail "the locked file changed"
else
  echo "no immutable files here: the failed recording is not tried"
fi

# ---- A recording onto a volume without room ends itself with a whole movie and says why ----------
# A 128 KiB volume holds the player and the header, but not the next second of this area's frames at
# their largest: the recording ends at its first look, as a stop from the icon does.
tiny=$WORK/tiny
mkdir -p "$tiny"
mount -t tmpfs -o size=128k tmpfs "$tiny" || fail "no small volume could be mounted"
trap 'chattr -i "$locked" 2>/dev/null || true; wineserver -k 2>/dev/null || true; umount "$tiny" 2>/dev/null || true
      wine_cleanup' EXIT
click_control 3004
wait_selection
drag 100 100 300 200
save_as "$(windows_path "$tiny/full.exe")"
wait_probe '^visible=1$' 30
wait_probe '^text3003=.+$' 20
wait_tray_gone
expected="磁盘空间不足 $(($(stat -c %s "$tiny/full.exe") / 1024 + 1)) KB"
[ "$(value text3002)" = "$expected" ] || fail "after ending itself the size field shows '$(value text3002)', not '$expected'"
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" verify "$tiny/full.exe" || fail "the movie that ended itself is not whole"
umount "$tiny"

# ---- First recording: titled, dragged down-right, cursor moved ---------------------------------------
activate "$(window_named Tavrel)"
xdo type --delay 30 "Demo one"
wait_probe '^text3001=Demo one$' 10
click_control 3004
wait_selection
drag 100 100 300 200
save_as "$(windows_path "$WORK/one.exe")"
wait_frames "$WORK/one.exe" 1
xdo mousemove 150 130
sleep 0.8
xdo mousemove 250 180
sleep 0.8
# A right click on the icon does not stop the recording.
tray_click 3
sleep 0.5
probe >/dev/null
[ "$(value visible)" = 0 ] || fail "a right click on the icon stopped the recording"
stop_recording
ONE_SIZE=$STOP_SIZE ONE_TIME=$STOP_TIME
[ "$(value text3001)" = "Demo one" ] || fail "the title field lost its text"

# ---- Second recording straight away: empty title, dragged up-left, exit right after the stop -------
activate "$(window_named Tavrel)"
click_control 3001
xdo key End shift+Home BackSpace
wait_probe '^text3001=$' 10
click_control 3004
wait_selection
drag 300 200 100 100
# A name typed without ".exe" is used as typed.
save_as "$(windows_path "$WORK/two")"
wait_frames "$WORK/two" 1
sleep 1.2
stop_recording
TWO_SIZE=$STOP_SIZE TWO_TIME=$STOP_TIME
click_control 3005
code=0
wait "$RECORDER_PID" || code=$?
[ $code = 0 ] || fail "the recorder ended with exit code $code"

# ---- The movies ------------------------------------------------------------------------------------
cmp -n 20480 "$WORK/one.exe" "$TAVREL_WIN_BUILD/player/Player.exe" || fail "one.exe does not start with the player"
"$RECORDER_CHECK" "$WORK/one.exe" --size 198 98 --title "Demo one" --min-frames 8 \
  --scene 60 60 101 101 --cursor 101 101 150 130 250 180 --stop "$ONE_SIZE" "$ONE_TIME" --no-steps ||
  fail "one.exe"
# The exit came right after the stop: the movie must still be complete.
[ -e "$WORK/two.exe" ] && fail "the save dialog added an extension"
"$RECORDER_CHECK" "$WORK/two" --size 198 98 --untitled --min-frames 4 \
  --scene 60 60 101 101 --stop "$TWO_SIZE" "$TWO_TIME" --no-steps || fail "two"

# ---- The first movie plays, captioned with its title ------------------------------------------------
wine_bg "$WORK/one.exe"
end=$((SECONDS + 30))
caption=
while [ $SECONDS -lt $end ] && [ -z "$caption" ]; do
  for id in $(xdo search --onlyvisible --classname one.exe 2>/dev/null); do
    caption=$(xdo getwindowname "$id")
  done
  sleep 0.2
done
case "$caption" in "Demo one"*) ;; *) fail "the movie's window is captioned '$caption'" ;; esac
# Its client area (the X window) is the frame, also on a scaled display.
eval "$(xdo getwindowgeometry --shell "$id")"
[ "${WIDTH}x$HEIGHT" = 198x98 ] || fail "the movie's client area is ${WIDTH}x$HEIGHT, not the frame's 198x98"
echo "PASS"
