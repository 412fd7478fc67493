#!/usr/bin/env bash
# Runs the demo under a virtual X server and drives it as a user would. It
# presses 受信 (picture of the main window after the check) and 着信履歴
# (picture of the viewer); then, with both windows side by side, it
# left-clicks the first mail and right-clicks the third (picture), clicks the
# second mail, sends one more mail into the mailbox and presses 受信 with the
# viewer open (pictures of both windows).
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

  # Both windows open centred; they are put side by side.
  xdotool windowmove "$main" 0 0
  xdotool windowmove "$viewer" 560 0
  sleep 0.5
  # The list: rows of 13 pixels under its head, 64 pixels below the menu bar.
  row() { echo $((105 + ($1 - 1) * 13)); }
  xdotool mousemove --window "$viewer" 120 "$(row 1)" click 1
  sleep 0.5
  xdotool mousemove --window "$viewer" 120 "$(row 3)" click 3
  sleep 1
  import -window "$viewer" "$OUT/demo-viewer-after-right-click.png"

  xdotool mousemove --window "$viewer" 120 "$(row 2)" click 1
  sleep 0.5
  smtp=$(sed -n "s/.*SMTP 127.0.0.1:\([0-9]*\).*/\1/p" "$OUT/demo.log")
  python3 - "$smtp" <<PY
import smtplib, sys
from email.message import EmailMessage
m = EmailMessage()
m["From"] = "tanaka@example.jp"
m["To"] = "demo@glimra.example"
m["Subject"] = "受信中に届いたメール"
m.set_content("ビューアを開いたまま受信したメールです。\n")
with smtplib.SMTP("127.0.0.1", int(sys.argv[1])) as s:
    s.send_message(m)
PY
  xdotool mousemove --window "$main" 84 28 click 1      # 受信, the viewer still open
  sleep 5
  import -window "$main" "$OUT/demo-main-after-second-check.png"
  import -window "$viewer" "$OUT/demo-viewer-after-second-check.png"
  pid=$(pgrep -P "$demo" -x glimramail || true)
  [ -n "$pid" ] && kill "$pid"
  wait "$demo" 2>/dev/null || true
'
echo "demo-screens: $OUT"
