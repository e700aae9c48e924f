#!/usr/bin/env bash
# A scripted demonstration on a virtual display, through the recorder's real interface: a moving scene
# is recorded (title typed, area dragged out, file named in the save dialog, recording stopped from the
# notification icon), then the movie executable it made is played.
#
#   scripts/demo.sh [OUTPUT_FOLDER]      (default build/demo)
#
# Leaves in the output folder: demo.exe (the movie), and screenshots 1-recorder.png (the main dialog),
# 2-selecting.png (the rubber band over the screen), 3-recording.png (the area's outline during the
# recording), 4-stopped.png (size and time of the recording) and 5-playback.png (the movie playing);
# the clicks made during the recording as a steps document, demo-steps.html, linking to the movie's
# page demo.html, and 6-steps.png, the document as headless Chromium shows it.
# Needs the Windows build (scripts/build.sh) of the programs this machine runs (scripts/windows-target.sh);
# TAVREL_WIN_BUILD and TAVREL_NATIVE_BUILD override the build folders.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/demo}" && cd "${1:-$root/build/demo}" && pwd)
source "$root/scripts/windows-target.sh"
export TAVREL_NATIVE_BUILD=${TAVREL_NATIVE_BUILD:-$root/build/native}
mkdir -p "$TAVREL_NATIVE_BUILD"
for exe in recorder/Tavrel.exe tests/win/probe/scene.exe tests/win/probe/probe.exe; do
  [ -f "$TAVREL_WIN_BUILD/$exe" ] || { echo "missing $TAVREL_WIN_BUILD/$exe: run scripts/build.sh first" >&2; exit 1; }
done

source "$root/tests/wine/lib.sh"
source "$root/tests/wine/recorder/recorder.sh"
echo "Starting a virtual display and Wine (the first run prepares a Wine prefix, about 30 s)..."
wine_start
rm -f "$out/demo.exe" "$out"/[1-6]-*.png "$out"/demo-steps.html "$out"/demo.html

start_scene 60 60
start_recorder
activate "$(window_named Tavrel)"
xdo type --delay 40 "Tavrel demo"
wait_probe '^text3001=Tavrel demo$' 10
shot "$out/1-recorder.png"
echo "Recorder started; selecting an area..."

click_control 3004
wait_selection
DRAG_HOLD=1 drag 80 80 340 240
shot "$out/2-selecting.png"
xdo mouseup 1
save_as "Z:${out//\//\\}\\demo.exe"
end=$((SECONDS + 60))
until [ "$(stat -c %s "$out/demo.exe" 2>/dev/null || echo 0)" -gt 20546 ]; do
  [ $SECONDS -lt $end ] || fail "the recording did not start"
  sleep 0.1
done
echo "Recording; moving the pointer over the area..."
for point in "120 120" "180 140" "240 170" "300 200" "250 220" "180 200" "120 160"; do
  xdo mousemove $point
  sleep 0.4
done
# Two clicks on the scene: each becomes a step of the movie.
for point in "150 130" "260 190"; do
  xdo mousemove $point click 1
  sleep 0.6
done
shot "$out/3-recording.png"
tray_click 1
wait_probe '^visible=1$' 20
echo "Stopped: size $(value text3002), length $(value text3003)"
shot "$out/4-stopped.png"
click_control 3005
wait "$RECORDER_PID" || true

echo "Playing the movie..."
xdo mousemove 300 240 click 3  # the scene closes on a right click, leaving the screen to the player
wine_bg "$out/demo.exe"
end=$((SECONDS + 30))
until xdo search --onlyvisible --classname demo.exe >/dev/null 2>&1; do
  [ $SECONDS -lt $end ] || fail "the movie did not open a window"
  sleep 0.2
done
sleep 2
shot "$out/5-playback.png"
echo "The movie's window is captioned '$(xdo getwindowname "$(xdo search --onlyvisible --classname demo.exe | head -n 1)")'"

echo "Writing the clicks as a steps document..."
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" export "$out/demo.exe" --steps "$out/demo-steps.html" --html "$out/demo.html"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$WORK/chromium" --hide-scrollbars \
  --window-size=800,900 --screenshot="$out/6-steps.png" "file://$out/demo-steps.html" >/dev/null 2>&1 ||
  echo "(no picture of the steps document: Chromium did not start)"
echo "Done. Movie, steps document and screenshots in $out:"
ls -l "$out"
