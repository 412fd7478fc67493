#!/usr/bin/env bash
# Saves pictures of the main window (clean, with the help box, with litter and
# the countdown), the standby window and the three settings windows, drawn
# under a virtual X server with the installed Japanese fonts.
# usage: scripts/main-screens.sh [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screens}")
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target glimra_main_screens -j2 >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" env QT_QPA_PLATFORM=xcb \
  "$BUILD_DIR/tools/main-screens/glimra_main_screens" "$OUT" "$PWD/assets/habitat"
echo "main-screens: $OUT"
