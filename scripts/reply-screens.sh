#!/usr/bin/env bash
# Saves pictures of the reply window filled from a Japanese mail, with two
# attachments and their list, and of the viewer after its header copy and
# quick save, drawn under a virtual X server with the installed Japanese fonts.
# usage: scripts/reply-screens.sh [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screens}")
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target glimra_reply_screens -j2 >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" env QT_QPA_PLATFORM=xcb \
  "$BUILD_DIR/tools/reply-screens/glimra_reply_screens" "$OUT"
echo "reply-screens: $OUT"
