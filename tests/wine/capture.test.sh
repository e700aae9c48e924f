#!/bin/bash
# The capture engine under Wine: CaptureTest records its window of known pictures while it moves the
# cursor and presses buttons, and capture_check compares every movie with the built player and with
# what the window showed. Then the failures: an output path that cannot be created, a folder in place
# of the file, a disk that fills up during the recording; each must be reported, end on the stop and
# leave no movie that looks whole, and the next recording must work again.
#
# SCREEN_DEPTH=16 runs the recordings on a 16-bit screen (capture16.test.sh).
source "$(dirname "$0")/lib.sh"

TEST=$TAVREL_WIN_BUILD/tests/win/capture/CaptureTest.exe
CHECK=$TAVREL_NATIVE_BUILD/tests/wine/capture/capture_check
PLAYER=$TAVREL_WIN_BUILD/player/Player.exe
[ -f "$TEST" ] || fail "no $TEST"
[ -x "$CHECK" ] || fail "no $CHECK"

FULL_DISK=$WORK/fulldisk
cleanup() {
  mountpoint -q "$FULL_DISK" 2>/dev/null && umount "$FULL_DISK"
  wine_cleanup
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# A test program that hangs is an endless capture: it must not hang the test run.
run_test() { LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 timeout 120 "$WINE_LOADER" "$TEST" "$@"; }

check() {
  local dir=$1 name
  shift
  for name in "$@"; do
    "$CHECK" "$PLAYER" "$dir/$name.exe" "$dir/$name.txt" || failed=1
  done
}

wine_start
failed=0

mkdir -p "$WORK/movies"
run_test movies "$(winpath "$WORK/movies")" || fail "CaptureTest movies (exit $?)"
check "$WORK/movies" full next hidden instant

if [ "${SCREEN_DEPTH:-24}" = 24 ]; then
  mkdir -p "$WORK/failures/folder.exe" "$FULL_DISK"
  # A disk that holds the stub and the header and fills up with the first frames; where no file
  # system can be mounted, /dev/full fails already the first write.
  if mount -t tmpfs -o size=64k tmpfs "$FULL_DISK" 2>/dev/null; then
    full=$FULL_DISK/full.exe
    room=1
    echo "full disk: a 64 KiB tmpfs"
  else
    full=$WORK/failures/devfull.exe
    room=0
    ln -s /dev/full "$full"
    echo "full disk: /dev/full"
  fi
  run_test failures "$(winpath "$WORK/failures")" "$(winpath "$full")" $room || fail "CaptureTest failures (exit $?)"
  [ -e "$WORK/failures/x.exe" ] && fail "a movie was written without its folder"
  if [ $room = 1 ]; then
    # The cut-off movie has no end record or trailer, so it does not pass for a whole one, and its
    # complete frame records are recovered by the movie tool.
    tool=$TAVREL_NATIVE_BUILD/tools/tavrel-movie
    "$tool" verify "$full" >/dev/null 2>&1 && fail "the cut-off movie passes verify"
    "$tool" repair "$full" -o "$WORK/repaired.exe" || fail "the cut-off movie could not be repaired"
    "$tool" verify "$WORK/repaired.exe" || fail "the repaired movie does not verify"
  fi
  check "$WORK/failures" after
fi

[ "$failed" = 0 ] || fail "some movies are wrong"
echo "capture: all movies right"
