#!/usr/bin/env bash
# Runs the demo under a virtual X server, presses 受信 and then 着信履歴, and
# saves a picture of the main window after the check and one of the viewer.
# usage: scripts/demo-screens.sh [output folder]   (after scripts/build.sh; needs xdotool)
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-screens}")
mkdir -p "$OUT"
export OUT GLIMRA_DEMO_DIR=${GLIMRA_DEMO_DIR:-$(mktemp -d /tmp/glimra-demo-shot.XXXXXX)}
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" bash -c '
  ./scripts/demo.sh > "$OUT/demo.log" 2>&1 & demo=$!
  for _ in $(seq 1 100); do
    main=$(xdotool search --name "グリムラランド" 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || { echo "demo-screens: no main window"; cat "$OUT/demo.log"; exit 1; }
  sleep 1
  xdotool mousemove --window "$main" 84 28 click 1      # 受信
  sleep 5
  import -window "$main" "$OUT/demo-main-after-check.png"
  xdotool mousemove --window "$main" 140 28 click 1     # 着信履歴
  sleep 2
  viewer=$(xdotool search --name "着信履歴" | head -1)
  import -window "$viewer" "$OUT/demo-viewer.png"
  pid=$(pgrep -P "$demo" -x glimramail || true)
  [ -n "$pid" ] && kill "$pid"
  wait "$demo" 2>/dev/null || true
'
echo "demo-screens: $OUT"
