#!/usr/bin/env bash
# Saves pictures of the coloured list header and of the editor's menus and
# tool bar in each role, drawn under a virtual X server with the installed
# Japanese fonts.
# usage: scripts/editor-screens.sh [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screens}")
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target glimra_editor_screens -j2 >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" env QT_QPA_PLATFORM=xcb \
  "$BUILD_DIR/tools/editor-screens/glimra_editor_screens" "$OUT"
echo "editor-screens: $OUT"
