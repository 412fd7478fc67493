#!/usr/bin/env bash
# Starts GlimraMail from a program folder under a virtual X server, waits,
# saves a PNG of the main window and ends the program.
# usage: scripts/screenshot.sh [output.png] [program folder] [seconds to wait]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screenshot.png}")
PROGRAM_DIR=$(realpath "${2:-${GLIMRA_BUILD_DIR:-build}/GlimraMail}")
WAIT=${3:-4}
[ -x "$PROGRAM_DIR/glimramail" ] || { echo "screenshot: no program in $PROGRAM_DIR (run scripts/build.sh)"; exit 1; }

export OUT PROGRAM_DIR WAIT
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  cd "$PROGRAM_DIR"
  ./glimramail & pid=$!
  sleep "$WAIT"
  if ! kill -0 "$pid" 2>/dev/null; then echo "screenshot: the program ended early"; exit 1; fi
  # Without a window manager the window has no frame; cut the main window out
  # of the screen by its title.
  id=$(xwininfo -root -tree | awk "/グリムラランド/ {print \$1; exit}")
  if [ -n "$id" ]; then
    import -window "$id" "$OUT"
  else
    import -window root "$OUT"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
'
echo "screenshot: $OUT"
