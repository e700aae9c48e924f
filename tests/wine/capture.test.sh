#!/bin/bash
# The capture engine under Wine: CaptureTest records its window of known pictures while it moves the
# cursor and presses buttons, and capture_check compares every movie with the built player and with
# what the window showed. Then the failures: an output path that cannot be created, a folder in place
# of the file, a file whose writes fail; each must be reported, end on the stop and leave no movie that
# looks whole. A recording on a small volume must end itself before the volume is full and leave a
# whole movie. The next recording must work again.
#
# SCREEN_DEPTH=16 runs the recordings on a 16-bit screen (capture16.test.sh).
source "$(dirname "$0")/lib.sh"

TEST=$TAVREL_WIN_BUILD/tests/win/capture/CaptureTest.exe
CHECK=$TAVREL_NATIVE_BUILD/tests/wine/capture/capture_check
PLAYER=$TAVREL_WIN_BUILD/player/Player.exe
[ -f "$TEST" ] || fail "no $TEST"
[ -x "$CHECK" ] || fail "no $CHECK"

SMALL_DISK=$WORK/smalldisk
# The programs go first: a movie still playing from the small volume keeps it busy.
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if mountpoint -q "$SMALL_DISK" 2>/dev/null; then umount "$SMALL_DISK" || true; fi
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
  mkdir -p "$WORK/failures/folder.exe" "$SMALL_DISK"
  # Every write to /dev/full fails; a 512 KiB volume holds the stub, the header and some 80 frames
  # (the tests run as root, as the set-up does).
  ln -s /dev/full "$WORK/failures/broken.exe"
  mount -t tmpfs -o size=512k tmpfs "$SMALL_DISK" || fail "no small volume could be mounted"
  small=$SMALL_DISK/small.exe
  run_test failures "$(winpath "$WORK/failures")" "$(winpath "$WORK/failures/broken.exe")" "$(winpath "$small")" ||
    fail "CaptureTest failures (exit $?)"
  [ -e "$WORK/failures/x.exe" ] && fail "a movie was written without its folder"
  # The recording that ended itself left a whole movie, and room on the volume.
  tool=$TAVREL_NATIVE_BUILD/tools/tavrel-movie
  "$tool" verify "$small" || fail "the movie on the small volume does not verify"
  left=$(df --output=avail -B1 "$SMALL_DISK" | tail -n 1)
  [ "$left" -gt 0 ] || fail "the small volume was filled"
  echo "small volume: $(stat -c %s "$small") bytes written, $left bytes left"
  frames=$("$tool" info "$small" | sed -n 's/^frames: *\([0-9]*\) frame records.*/\1/p')
  play_to_end "$small" "无标题" $((frames / 5 + 30))
  check "$WORK/failures" after
fi

[ "$failed" = 0 ] || fail "some movies are wrong"
echo "capture: all movies right"
