#!/usr/bin/env bash
# The player without a movie and with damaged movies: the padded stub holds the whole program; the
# bare player opens an empty, still window on which play, speed and go-to do nothing, and Esc ends
# it with exit code 0; damaged movies (an oversized PayloadLength, payloads that do not unpack, runs
# outside the frame, a file cut inside a record, fewer records than FrameCount, a header the codec
# cannot play) and frames too small for their packed size play to their end without a crash.
set -euo pipefail
source "$TAVREL_SOURCE/tests/wine/player/common.sh"
"$PLAYER_MOVIES" stubcheck "$STUB" || fail "the player stub is not the whole program padded to 20480 bytes"
wine_start

# An empty window: nothing to play, pause, speed up or jump in.
still_window() {
  start_player "$1"
  sleep 0.5
  [ "$(caption)" = "" ] || fail "$(basename "$1"): caption '$(caption)' without a movie"
  press space Right Left
  [ "$(caption)" = "" ] || fail "$(basename "$1"): play or speed changed the caption to '$(caption)'"
  menu_item 4
  sleep 0.5
  dialog_open && fail "$(basename "$1"): the go-to dialog opened without a movie"
  kill -0 "$PLAYER_PID" || fail "$(basename "$1"): the player ended"
  finish_player
}
cp "$STUB" "$WORK/bare.exe"
still_window "$WORK/bare.exe"
make_movie badheader
still_window "$WORK/badheader.exe"

# Damaged records end the stream or leave the frame as it was; either way the movie plays to its
# end, shows the black end picture with the last cursor read, and closes normally.
for kind in bigpayload badlzo badruns tiny; do
  make_movie "$kind"
  start_player "$WORK/$kind.exe" "$kind"
  press Right
  expect_caption "$kind-END" 30
  [ "$kind" = tiny ] || check "$WORK/$kind.exe" end
  finish_player
done

# Fewer records than the trailer promises: a jump beyond them stops at the last record.
make_movie short
start_player "$WORK/short.exe" "无标题"
press space
expect_caption "无标题-PAUSE"
jump_to 30
check "$WORK/short.exe" 6
press space
expect_caption "无标题-END" 10
finish_player

# Cut inside a record: the "trailer" is made of record bytes, so the title is garbage; the movie
# still plays up to the cut and ends there. (The title may end in half a GBK character, which then
# takes the "-" of the suffix with it: only "END" is looked for.)
make_movie truncated
start_player "$WORK/truncated.exe"
press Right
for _ in $(seq 150); do
  case "$(caption)" in *END) break ;; esac
  sleep 0.2
done
case "$(caption)" in *END) ;; *) fail "the truncated movie did not end (caption '$(caption)')" ;; esac
finish_player
echo "player-damaged: all checks passed"
