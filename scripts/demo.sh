#!/usr/bin/env bash
# The demo: a program folder of its own (${XDG_DATA_HOME:-~/.local/share}/GlimraMail-demo,
# laid out afresh each time), a Dovecot POP3 server and an SMTP server on
# 127.0.0.1 whose mailbox is seeded from demo/mail, and the program started
# there. Mail sent to anyone through the demo's SMTP server lands in the same
# mailbox. The servers stop when the program exits. Run as root (Dovecot).
set -euo pipefail
cd "$(dirname "$0")/.."
DEMO_DIR=${GLIMRA_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/GlimraMail-demo}
rm -rf "$DEMO_DIR"
./scripts/install-program.sh "$DEMO_DIR"
SERVERS_DIR=$(mktemp -d /tmp/glimra-demo-servers.XXXXXX)
chmod 755 "$SERVERS_DIR"

# The servers run until their stdin closes: a pipe held open by this script.
exec 3> >(/usr/bin/python3 scripts/demo_servers.py --dir "$SERVERS_DIR" demo/mail/*.eml > "$SERVERS_DIR/ports" 2> "$SERVERS_DIR/servers.log")
SERVERS_PID=$!
stop_servers() {
  exec 3>&- || true
  kill "$SERVERS_PID" 2>/dev/null || true
  wait "$SERVERS_PID" 2>/dev/null || true
  rm -rf "$SERVERS_DIR"
}
trap stop_servers EXIT
for _ in $(seq 1 150); do
  grep -q '^POP3=' "$SERVERS_DIR/ports" 2>/dev/null && break
  sleep 0.1
done
read -r POP3 SMTP < "$SERVERS_DIR/ports" || { echo "demo: the servers did not start"; cat "$SERVERS_DIR/servers.log"; exit 1; }
POP3_PORT=${POP3#POP3=}
SMTP_PORT=${SMTP#SMTP=}

printf 'SMTP=127.0.0.1:%s\r\nPOP3=127.0.0.1:%s\r\nMAIL=demo@glimra.example\r\nAPOP=0\r\n' "$SMTP_PORT" "$POP3_PORT" > "$DEMO_DIR/korvix.ini"
printf '[EXEINI]\r\nNAME=demo\r\nNAME2=demo\r\nNAME3=1\r\n' > "$DEMO_DIR/★MailData/iniIdPass.ini"
chmod 600 "$DEMO_DIR/★MailData/iniIdPass.ini"
echo "GlimraMail demo: program folder $DEMO_DIR, POP3 127.0.0.1:$POP3_PORT, SMTP 127.0.0.1:$SMTP_PORT"
echo "Press 受信 to fetch the sample mail; mail sent with 新規作成 comes back on the next 受信."
cd "$DEMO_DIR"
./glimramail "$@"
