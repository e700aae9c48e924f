#!/usr/bin/env bash
# A recording whose recorder is killed while it records (a crash, the task manager), mended with the
# Windows build of tavrel-movie: the file on disk has no end record and no trailer, verify says so,
# and repair keeps every record the recorder finished, byte for byte, in a movie that verifies and
# plays to its end, as "无标题" (the title lived only in the lost trailer).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/recorder/recorder.sh"
TOOL_EXE=$TAVREL_WIN_BUILD/tools/tavrel-movie.exe
TOOL=$TAVREL_NATIVE_BUILD/tools/tavrel-movie
[ -f "$TOOL_EXE" ] || fail "$TOOL_EXE is not built"
[ -x "$TOOL" ] || fail "$TOOL is not built"
wine_start
cd "$WORK"

start_scene 60 60
start_recorder
activate "$(window_named Tavrel)"
xdo type --delay 30 "killed"
wait_probe '^text3001=killed$' 10
click_control 3004
wait_selection
drag 100 100 300 200
save_as "Z:${WORK//\//\\}\\killed.exe"

# Six complete frame records at least, counted by the tool itself, then the recorder dies mid-recording.
records() { "$TOOL" info killed.exe 2>/dev/null | sed -n 's/^frames: *\([0-9]*\) frame records.*/\1/p'; }
end=$((SECONDS + 60))
until [ "$(records)" -ge 6 ] 2>/dev/null; do
  [ $SECONDS -lt $end ] || fail "the recording did not reach six frames"
  sleep 0.1
done
sleep 0.5
kill -9 "$RECORDER_PID"
wait "$RECORDER_PID" 2>/dev/null || true
sleep 0.5
cp killed.exe original.exe

"$TOOL" verify killed.exe 2>verify.txt && fail "verify passed the movie of a killed recorder"
grep -q "without an end record\|ends inside" verify.txt || fail "verify: $(cat verify.txt)"
echo "verify: $(cat verify.txt)"

wine_run "$TOOL_EXE" repair killed.exe -o fixed.exe >repair.txt || fail "repair failed: $(cat repair.txt)"
cat repair.txt
cmp -s killed.exe original.exe || fail "repair changed its input"
"$TOOL" verify fixed.exe || fail "the repaired movie does not verify"
kept=$(sed -n 's/^kept: .*up to offset \([0-9]*\).*/\1/p' repair.txt | tr -d '\r')
frames=$("$TOOL" info fixed.exe | sed -n 's/^frames: *\([0-9]*\) frame records.*/\1/p')
[ "$frames" -ge 6 ] || fail "only $frames frames kept"
cmp -s <(head -c "$kept" killed.exe) <(head -c "$kept" fixed.exe) || fail "the kept records differ from the recorder's"
# Nothing but a torn record lies behind what was kept: less than a whole frame of raw codes.
[ $(($(stat -c %s killed.exe) - kept)) -lt $((13 + 8 + 200 * 100 * 2)) ] || fail "repair dropped whole records"
"$TOOL" info fixed.exe | grep -q '^title: *"无标题"' || fail "the title is not 无标题: $("$TOOL" info fixed.exe)"

play_to_end fixed.exe "无标题"
echo "tool_killed: all checks passed"
