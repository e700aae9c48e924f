#!/usr/bin/env bash
# The main job: builds the programs and says where they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
echo
echo "Recorder: $root/build/win/recorder/Tavrel.exe"
echo "Player:   $root/build/win/player/Player.exe"
