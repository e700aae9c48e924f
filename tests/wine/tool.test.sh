#!/usr/bin/env bash
# The Windows build of tavrel-movie under Wine, on a recording cut off inside a record: it repairs the
# movie, the native tool finds the result well-formed with every complete record kept and the title
# "无标题" (the cut took the trailer with it), the player plays it to its end under that title, a
# title given on the command line goes in, the Windows and Linux builds trim and pack to the same bytes
# (and the player plays both) and export the same PNG, GIF, MP4, HTML and steps document bytes, and a
# movie dropped onto tavrel-movie.exe becomes an MP4 beside it in a console that waits for a key.
# (Only ASCII titles are typed here: without the zh_CN glibc locale Wine cannot decode a UTF-8
# command line.)
set -euo pipefail
source "$TAVREL_SOURCE/tests/wine/lib.sh"

TOOL_EXE=$TAVREL_WIN_BUILD/tools/tavrel-movie.exe
TOOL=$TAVREL_NATIVE_BUILD/tools/tavrel-movie
STUB=$TAVREL_WIN_BUILD/player/Player.exe
STREAM=$TAVREL_SOURCE/tests/data/vectors/typing.stream
[ -f "$TOOL_EXE" ] || fail "$TOOL_EXE is not built"
[ -x "$TOOL" ] || fail "$TOOL is not built"
[ -f "$STUB" ] || fail "$STUB is not built"
[ -f "$STREAM" ] || fail "no movie stream vector at $STREAM"
wine_start
cd "$WORK"

# A ten-frame recording behind the built player, cut 200 bytes into its records' end: the last
# records, the end record and the trailer are gone.
"$TOOL" wrap "$STREAM" typing.exe --stub "$STUB" >/dev/null
size=$(stat -c %s typing.exe)
head -c $((size - 200)) typing.exe >cut.exe
"$TOOL" verify cut.exe 2>verify.txt && fail "verify passed a cut-off movie"
grep -q "without an end record\|ends inside the record" verify.txt || fail "verify: $(cat verify.txt)"

# Repair under Wine.
TITLE="无标题"
wine_run "$TOOL_EXE" repair cut.exe -o fixed.exe >repair.txt || fail "the Windows tool could not repair: $(cat repair.txt)"
cmp -s cut.exe <(head -c $((size - 200)) typing.exe) || fail "repair changed its input"
"$TOOL" verify fixed.exe >/dev/null || fail "the repaired movie does not verify"
kept=$(sed -n 's/^kept: *\([0-9]*\) complete.*/\1/p' repair.txt | tr -d '\r')
frames=$("$TOOL" info fixed.exe | sed -n 's/^frames: *\([0-9]*\) frame records.*/\1/p')
[ -n "$kept" ] && [ "$kept" = "$frames" ] || fail "repair reported '$kept' frames, the movie has '$frames'"
[ "$frames" -ge 7 ] && [ "$frames" -lt 10 ] || fail "$frames frames kept of a movie cut 200 bytes before its end"
"$TOOL" info fixed.exe | grep -q "^title: *\"$TITLE\"" || fail "the title is not $TITLE: $("$TOOL" info fixed.exe)"
wine_run "$TOOL_EXE" repair cut.exe -o named.exe --title "fixed typing" >/dev/null || fail "repair --title failed"
"$TOOL" info named.exe | grep -q '^title: *"fixed typing"' || fail "the given title did not go in"

# The repaired movie plays to its end under the given title.
play_to_end fixed.exe "$TITLE"

# A trimmed and a packed movie made under Windows are the bytes the Linux build makes, and play.
wine_run "$TOOL_EXE" trim typing.exe --from-frame 3 --to-frame 8 -o trimmed.exe >/dev/null || fail "Windows trim failed"
"$TOOL" trim typing.exe --from-frame 3 --to-frame 8 -o trimmed-linux.exe >/dev/null
cmp -s trimmed.exe trimmed-linux.exe || fail "the trimmed movies differ between the builds"
wine_run "$TOOL_EXE" pack typing.exe -o packed.exe >/dev/null || fail "Windows pack failed"
"$TOOL" pack typing.exe -o packed-linux.exe >/dev/null
cmp -s packed.exe packed-linux.exe || fail "the packed movies differ between the builds"
play_to_end trimmed.exe "打字 typing"
play_to_end packed.exe "打字 typing"

# Both builds of the tool write the same files. A Windows build made without the image libraries
# (they could not be built) must say so instead.
if wine_run "$TOOL_EXE" export typing.exe --frame 7 --cursor win.png >/dev/null 2>png.txt; then
  "$TOOL" export typing.exe --frame 7 --cursor linux.png
  cmp -s win.png linux.png || fail "the PNG of frame 7 differs between the builds"
  wine_run "$TOOL_EXE" export typing.exe --gif win.gif >/dev/null || fail "Windows export --gif failed"
  "$TOOL" export typing.exe --gif linux.gif
  cmp -s win.gif linux.gif || fail "the GIFs differ between the builds"
  # The browser player page is embedded in both builds, and the movie deflated by the same zlib.
  wine_run "$TOOL_EXE" export typing.exe --html win.html >/dev/null || fail "Windows export --html failed"
  "$TOOL" export typing.exe --html linux.html >/dev/null
  cmp -s win.html linux.html || fail "the HTML pages differ between the builds"
  # A movie with steps: the same steps document, and the same trimmed movie with its steps moved.
  "$TAVREL_NATIVE_BUILD/tests/wine/player/player_movies" make steps "$STUB" steps.exe
  wine_run "$TOOL_EXE" export steps.exe --steps win-steps.html >/dev/null || fail "Windows export --steps failed"
  "$TOOL" export steps.exe --steps linux-steps.html >/dev/null
  cmp -s win-steps.html linux-steps.html || fail "the steps documents differ between the builds"
  # Its frame 13 holds a button the recorder never writes, which trim does not keep: the part ends before.
  wine_run "$TOOL_EXE" trim steps.exe --from-frame 2 --to-frame 12 -o win-steps-part.exe >/dev/null || fail "Windows trim failed"
  "$TOOL" trim steps.exe --from-frame 2 --to-frame 12 -o linux-steps-part.exe >/dev/null
  "$TOOL" info linux-steps-part.exe | grep -q "^steps: *2$" || fail "the trimmed movie does not keep the two steps of frame 10"
  cmp -s win-steps-part.exe linux-steps-part.exe || fail "the trimmed movies with steps differ between the builds"
else
  grep -q "cannot write PNG or GIF" png.txt || fail "Windows export --frame failed: $(cat png.txt)"
  [ ! -e win.png ] || fail "a failed export left win.png behind"
  echo "tool: this Windows build has no PNG and GIF export; its refusal was checked"
fi
# The same x264 with the same settings on the same machine: the same bytes (its assembly is exact).
if wine_run "$TOOL_EXE" export typing.exe --mp4 win.mp4 >/dev/null 2>mp4.txt; then
  "$TOOL" export typing.exe --mp4 linux.mp4
  cmp -s win.mp4 linux.mp4 || fail "the MP4s differ between the builds"
  # Dropped onto the tool from Explorer, the movie is its only argument and the console window is
  # the tool's own: it must stay open until a key is pressed. script gives it a terminal for one.
  cp typing.exe dropped.exe
  mkfifo keys
  script -qfec "LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 $WINE_LOADER '$TOOL_EXE' dropped.exe" /dev/null <keys >drop.txt 2>&1 &
  drop=$!
  exec 7>keys
  # The console draws character by character between escape sequences; its spaces become cursor moves.
  said() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' drop.txt | tr -d ' \r\n' | grep -q "$1"; }
  for _ in $(seq 100); do said Pressanykey && break; sleep 0.3; done
  said "dropped.exewasexportedtodropped.mp4" || fail "the dropped movie's console said: $(cat -v drop.txt)"
  said Pressanykey || fail "the console did not ask for a key: $(cat -v drop.txt)"
  sleep 1
  kill -0 $drop 2>/dev/null || fail "the console closed before a key was pressed"
  printf x >&7
  for _ in $(seq 50); do kill -0 $drop 2>/dev/null || break; sleep 0.2; done
  kill -0 $drop 2>/dev/null && fail "a key did not close the console"
  wait $drop || fail "the dropped movie's export failed: $(cat -v drop.txt)"
  exec 7>&-
  cmp -s dropped.mp4 linux.mp4 || fail "the dropped movie's MP4 is not the one export --mp4 makes"
else
  grep -q "cannot write MP4" mp4.txt || fail "Windows export --mp4 failed: $(cat mp4.txt)"
  [ ! -e win.mp4 ] || fail "a failed export left win.mp4 behind"
  echo "tool: this Windows build has no MP4 export; its refusal was checked"
fi
wine_run "$TOOL_EXE" export typing.exe --raw 2>/dev/null | cmp -s - <("$TOOL" export typing.exe --raw 2>/dev/null) ||
  fail "the raw frames differ between the builds"
wine_run "$TOOL_EXE" unwrap typing.exe typing.stream >/dev/null || fail "Windows unwrap failed"
cmp -s typing.stream "$STREAM" || fail "unwrap did not give back the stream"
wine_run "$TOOL_EXE" wrap typing.stream again.exe >/dev/null || fail "Windows wrap with its built-in player failed"
"$TOOL" verify again.exe >/dev/null || fail "the movie wrapped under Windows does not verify"
wine_run "$TOOL_EXE" verify nothing.exe 2>missing.txt && fail "verify passed a missing file"
grep -q "cannot open" missing.txt || fail "no clear message for a missing file: $(cat missing.txt)"
echo "tool: all checks passed"
