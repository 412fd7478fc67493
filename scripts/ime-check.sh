#!/usr/bin/env bash
# Japanese input in the program, checked under a virtual X server: a D-Bus
# session with IBus and Mozc, the program on a scratch program folder, the
# composer opened with Ctrl+N and "nihongo" typed into its subject. Prints
# Qt's line that shows the IBus input context plug-in was loaded and fails
# without it; the program's log (<output>.log) shows the plug-in reaching
# IBus and every key going through it. Saves a picture of the screen.
# Headless, Mozc does not take over the new input context, so the picture
# shows the typed letters, not a conversion.
# usage: scripts/ime-check.sh [output.png]     (after scripts/build.sh; ibus-mozc installed)
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-ime.png}")
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
folder=$(mktemp -d /tmp/glimra-ime.XXXXXX)
trap 'rm -rf "$folder"' EXIT
GLIMRA_BUILD_DIR=$BUILD_DIR ./scripts/install-program.sh "$folder" >/dev/null
printf 'SMTP=localhost\r\nPOP3=localhost\r\nMAIL=hanako@example.jp\r\nAPOP=0\r\n' > "$folder/korvix.ini"
printf '[EXEINI]\r\nNAME=hanako\r\nNAME2=x\r\nNAME3=1\r\n' > "$folder/★MailData/iniIdPass.ini"
export OUT folder
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" dbus-run-session -- bash -c '
  [ -n "${IME_TRACE:-}" ] && set -x
  set -euo pipefail
  export QT_IM_MODULE=ibus XMODIFIERS=@im=ibus GTK_IM_MODULE=ibus QT_DEBUG_PLUGINS=1 LANG=C.UTF-8 QT_LOGGING_RULES="qt.qpa.input.methods=true"
  ibus-daemon --daemonize --replace --xim --panel=/usr/libexec/ibus-ui-gtk3
  for _ in $(seq 1 50); do ibus engine >/dev/null 2>&1 && break; sleep 0.2; done
  (cd "$folder" && exec ./glimramail) > "$folder/program.log" 2>&1 & pid=$!
  main=
  for _ in $(seq 1 100); do
    main=$(xdotool search --name "グリムラランド" 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || { echo "ime-check: no main window"; cat "$folder/program.log"; exit 1; }
  xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
  xdotool key --window "$main" ctrl+n
  sleep 2
  composer=$(xdotool search --name "新規作成" | head -1)
  xdotool windowfocus --sync "$composer" || true
  # The subject box, 154 pixels down the window.
  xdotool mousemove --window "$composer" 200 165 click 1
  sleep 0.5
  ibus engine mozc-jp || true   # sets it, yet reports 1
  sleep 1
  xdotool key Zenkaku_Hankaku
  sleep 0.5
  xdotool type --delay 120 nihongo
  sleep 0.5
  xdotool key space
  sleep 0.5
  xdotool key space
  sleep 1.5
  import -window root "$OUT"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  cp "$folder/program.log" "${OUT%.png}.log"
  grep -i "ibusplatforminputcontextplugin.*loaded library" "$folder/program.log" \
    || { echo "ime-check: the IBus plug-in was not loaded (see ${OUT%.png}.log)"; exit 1; }
'
echo "ime-check: $OUT"
