#!/bin/bash
# The capture engine on a 16-bit screen: the movies are still 32-bit, with explicit colour masks,
# and show the same pictures.
SCREEN_DEPTH=16 exec bash "$(dirname "$0")/capture.test.sh"
