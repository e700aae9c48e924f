#!/usr/bin/env bash
# Narration along a real sound path: PulseAudio with a null sink whose monitor is the default source,
# so that the recorder's microphone hears what is played into the sink. A recording with "录制麦克风"
# ticked while a 1 kHz tone plays: the area turns red as the tone begins and green as it ends, with a
# 3 s pause of the recording between. The movie's sound must hold the tone, begin and end with the
# frames that show the changes, and last as long as the frames (tests/wine/recorder/SoundCheck.cpp).
# Its MP4 export has an AAC stream as long as its video. Its player must then be heard through the
# sink, and not while paused. Without PulseAudio, a
# recording with the box ticked still works and says that it is silent.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
  fail "PulseAudio is not installed (packages pulseaudio and pulseaudio-utils; scripts/setup.sh installs them)"

export XDG_RUNTIME_DIR=$WORK/pulse
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
pulse_start() {
  pulseaudio -n -F /dev/null --exit-idle-time=-1 --daemonize=yes -L module-native-protocol-unix \
    -L "module-null-sink sink_name=tv rate=16000 channels=1" 2>"$WORK/pulse.txt" ||
    fail "PulseAudio did not start: $(tail -n 3 "$WORK/pulse.txt")"
  pactl set-default-sink tv && pactl set-default-source tv.monitor || fail "no null sink"
}
pulse_stop() { pulseaudio -k 2>/dev/null || true; }
trap 'pulse_stop; kill $(jobs -p) 2>/dev/null || true; wine_cleanup' EXIT
pulse_start

python3 - "$WORK" <<'PY'
import math, struct, sys, wave
# 20 s of a 1 kHz tone at 16 kHz, half of full scale.
with wave.open(sys.argv[1] + "/tone.wav", "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(16000)
    w.writeframes(b"".join(struct.pack("<h", int(16000 * math.sin(2 * math.pi * 1000 * i / 16000)))
                           for i in range(16000 * 20)))
PY
convert -size 260x190 xc:'#FF0000' "$WORK/red.xwd"
convert -size 260x190 xc:'#00FF00' "$WORK/green.xwd"
now_ms() { echo $(($(date +%s%N) / 1000000)); }

wine_start
start_scene 60 60
start_recorder
[ "$(value checked3009)" = 0 ] || fail "the microphone box is ticked at the start"
click_control 3009
wait_probe '^checked3009=1$' 10
click_control 3004
wait_selection
drag 400 300 600 450
save_as "$(windows_path "$WORK/sound.exe")"
wait_frames "$WORK/sound.exe" 3
sleep 1
[ -s "$WORK/sound.exe.snd" ] || fail "no sound file beside the movie while recording"

# The tone and the red picture begin together; the tone and the green picture end together.
xwud -in "$WORK/red.xwd" -geometry +370+280 &
paplay --latency-msec=200 "$WORK/tone.wav" &
TONE_PID=$!
began=$(now_ms)
sleep 1.5
press ctrl+shift+F9
sleep 3
press ctrl+shift+F9
sleep 1.5
kill $TONE_PID
xwud -in "$WORK/green.xwd" -geometry +370+280 &
ended=$(now_ms)
sleep 1.2
stop_recording
case "$STOP_SIZE" in *未录到声音*) fail "a recording that heard the tone says '$STOP_SIZE'" ;; esac
[ -e "$WORK/sound.exe.snd" ] && fail "the sound file stayed beside the finished movie"
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" verify "$WORK/sound.exe" || fail "the narrated movie is not well-formed"
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" info "$WORK/sound.exe" | grep '^sound:' | grep -q 'IMA ADPCM mono 16000 Hz' ||
  fail "info does not describe the sound: $("$TAVREL_NATIVE_BUILD/tools/tavrel-movie" info "$WORK/sound.exe" | grep sound)"
"$TAVREL_NATIVE_BUILD/tests/wine/recorder/sound_check" "$WORK/sound.exe" --tone 1000 --change-colours FF0000 00FF00 \
  --wall-ms $((ended - began)) >"$WORK/check.txt" || fail "the movie's sound does not match its picture: $(cat "$WORK/check.txt")"
cat "$WORK/check.txt"
tone_ms=$(sed -n 's/^tone \([0-9]*\) ms long$/\1/p' "$WORK/check.txt")
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" export "$WORK/sound.exe" --mp4 "$WORK/sound.mp4" >/dev/null ||
  fail "the narrated movie was not exported to MP4"
"$TAVREL_NATIVE_BUILD/tests/wine/recorder/sound_check" --mp4 "$WORK/sound.mp4" || fail "the MP4's sound"

# ---- The player is heard, and not while paused ---------------------------------------------------
click_control 3005
wait "$RECORDER_PID" || true
parec -d tv.monitor --raw --format=s16le --rate=16000 --channels=1 >"$WORK/heard.raw" &
PAREC_PID=$!
wine_bg "$WORK/sound.exe"
PLAYER_PID=$!
win=$(wait_window "无标题" 30) || fail "the movie opened no window"
# The tone begins about 2 s into the movie and lasts 3 s of it: pause in its middle for 2 s.
sleep 3.5
xdo windowfocus --sync "$win"
xdo key space
paused=$(now_ms)
sleep 2
xdo key space
resumed=$(now_ms)
sleep 3
xdo key Escape
wait "$PLAYER_PID" || fail "the player ended with an error"
kill $PAREC_PID
# What the sink heard, in windows of 10 ms: the tone, a silence as long as the pause, the tone again,
# as long in all as the movie's tone, at its frequency. Resuming must go on where the sound stopped:
# replaying what the speaker had played ahead of the picture made the tone 220 to 450 ms too long.
python3 - "$WORK/heard.raw" $((resumed - paused)) "$tone_ms" <<'PY' || fail "the player's sound"
import array, math, sys
pcm = array.array("h", open(sys.argv[1], "rb").read())
pause, tone = int(sys.argv[2]), int(sys.argv[3])
# Loudness in windows of 10 ms, measured as the movie's checker measures it.
levels = [math.sqrt(sum(s * s for s in pcm[at:at + 160]) / 160) for at in range(0, len(pcm) - 160, 160)]
runs = []
for level in levels:
    loud = level > max(levels) / 3
    if runs and runs[-1][0] == loud: runs[-1][1] += 10
    else: runs.append([loud, 10])
while runs and not runs[0][0]: runs.pop(0)
while runs and not runs[-1][0]: runs.pop()
heard = sum(ms for loud, ms in runs if loud)
# The frequency: the median of the 100 ms pieces wholly inside the tone.
pieces = sorted(sum((pcm[i - 1] < 0) != (pcm[i] < 0) for i in range(at + 1, at + 1600)) / 2 / 0.1
                for at in range(0, len(pcm) - 1600, 1600) if min(levels[at // 160:at // 160 + 10]) > max(levels) * 0.8)
hertz = pieces[len(pieces) // 2] if pieces else 0
# The movie's own sound may have short gaps where the tone's source ran dry; the pause is the one
# long silence.
gaps = [ms for loud, ms in runs if not loud and ms >= 1000]
print("player: tone %d ms at %.1f Hz, silences of %s ms" % (heard, hertz, [ms for loud, ms in runs if not loud]))
ok = len(gaps) == 1 and abs(gaps[0] - pause) <= 400 and abs(heard - tone) <= 150 and abs(hertz - 1000) <= 10
sys.exit(0 if ok else 1)
PY

# ---- Without PulseAudio: the recording works, and says it is silent ------------------------------
pulse_stop
start_recorder
click_control 3009
wait_probe '^checked3009=1$' 10
click_control 3004
wait_selection
drag 400 300 600 450
save_as "$(windows_path "$WORK/silent.exe")"
wait_frames "$WORK/silent.exe" 3
sleep 1
stop_recording
case "$STOP_SIZE" in 未录到声音\ *) ;; *) fail "a recording without a microphone says '$STOP_SIZE'" ;; esac
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" verify "$WORK/silent.exe" || fail "the silent movie is not well-formed"
"$TAVREL_NATIVE_BUILD/tools/tavrel-movie" info "$WORK/silent.exe" | grep -q '^sound: *none' || fail "the silent movie has sound"
echo "PASS"
