#!/usr/bin/env bash
# The recordings of recorder_record.test.sh on a display scaled to 150 % (144 dots per inch): the
# recorder still selects and records the screen's own pixels, and the movie's window shows the
# frame one pixel for one pixel.
WINE_LOG_PIXELS=144 exec bash "$(dirname "$0")/recorder_record.test.sh"
