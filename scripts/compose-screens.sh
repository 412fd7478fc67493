#!/usr/bin/env bash
# Saves pictures of the address book window and the composer (full width,
# narrowed, with the help pane, with the attachment list, in bulk mode),
# drawn under a virtual X server with the installed Japanese fonts.
# usage: scripts/compose-screens.sh [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screens}")
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target glimra_compose_screens -j2 >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" env QT_QPA_PLATFORM=xcb \
  "$BUILD_DIR/tools/compose-screens/glimra_compose_screens" "$OUT"
echo "compose-screens: $OUT"
