#!/usr/bin/env bash
# Makes the README's two pictures of one recorded frame, at 256 colours and in true colour, from the
# two movies the recorder's colour test makes of the same picture on the screen:
#   KEEP_WORK=1 ctest -R wine_recorder_colours     (in build/native; its work folder is kept)
#   bash scripts/colour-pictures.sh build/native/wine-work.XXXXXX
# The pictures are the first frame of each movie as `tavrel-movie export --frame 1` writes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${TAVREL_NATIVE_BUILD:-$root/build/native}/tools/tavrel-movie
work=${1:?usage: colour-pictures.sh WORK_FOLDER_OF_THE_COLOUR_TEST}
for movie in codes colours; do
  [ -f "$work/$movie.exe" ] || { echo "$work/$movie.exe is missing: run the colour test with KEEP_WORK=1" >&2; exit 1; }
done
mkdir -p "$root/docs/images"
"$tool" export "$work/codes.exe" --frame 1 "$root/docs/images/colours-256.png" >/dev/null
"$tool" export "$work/colours.exe" --frame 1 "$root/docs/images/colours-true.png" >/dev/null
ls -l "$root/docs/images/colours-256.png" "$root/docs/images/colours-true.png"
