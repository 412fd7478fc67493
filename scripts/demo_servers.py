#!/usr/bin/python3
"""The demo's mail servers on 127.0.0.1: a private Dovecot POP3 server for one
user and an SMTP server that delivers every message it accepts into that
user's Maildir, so that mail sent from the demo comes back on the next
"受信". Seeds the mailbox from the .eml files given. Prints one line
"POP3=<port> SMTP=<port>" when both listen, then runs until stdin closes or
SIGTERM, and stops Dovecot (by its PID) on the way out. Run as root (Dovecot
hands the Maildir to "nobody")."""
import argparse
import asyncio
import os
import pwd
import grp
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

from aiosmtpd.controller import Controller

USER = "demo"
PASSWORD = "demo"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Mailbox:
    def __init__(self, root: Path):
        self.root = root
        self.serial = 0

    def deliver(self, data: bytes):
        self.serial += 1
        name = f"{time.time_ns()}.M{self.serial}P{os.getpid()}.glimrademo"
        tmp = self.root / "tmp" / name
        tmp.write_bytes(data)
        os.chown(tmp, self.uid, self.gid)
        os.rename(tmp, self.root / "new" / name)


class Delivery:
    def __init__(self, mailbox):
        self.mailbox = mailbox

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8")
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        self.mailbox.deliver(data)
        return "250 OK delivered to the demo mailbox"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True, help="working folder of the servers")
    ap.add_argument("seed", nargs="*", help=".eml files for the mailbox, in order")
    args = ap.parse_args()

    work = Path(args.dir)
    work.mkdir(parents=True, exist_ok=True)
    (work / "run").mkdir(exist_ok=True)
    (work / "state").mkdir(exist_ok=True)
    maildir = work / "mail" / USER
    for sub in ("new", "cur", "tmp"):
        (maildir / sub).mkdir(parents=True, exist_ok=True)
    uid = pwd.getpwnam("nobody").pw_uid
    gid = grp.getgrnam("nogroup").gr_gid
    for path in [work / "mail", maildir] + [maildir / s for s in ("new", "cur", "tmp")]:
        os.chown(path, uid, gid)
    (work / "passwd").write_text(f"{USER}:{{PLAIN}}{PASSWORD}\n")
    mailbox = Mailbox(maildir)
    mailbox.uid, mailbox.gid = uid, gid
    for eml in args.seed:
        mailbox.deliver(Path(eml).read_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))

    pop3 = free_port()
    conf = f"""base_dir = {work}/run
state_dir = {work}/state
instance_name = glimra-demo-{pop3}
listen = 127.0.0.1
protocols = pop3
disable_plaintext_auth = no
auth_mechanisms = plain apop
log_path = {work}/dovecot.log
info_log_path = {work}/dovecot.log
mail_location = maildir:{work}/mail/%u
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {work}/passwd
}}
userdb {{
  driver = static
  args = uid=nobody gid=nogroup home={work}/mail/%u
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {pop3}
  }}
  inet_listener pop3s {{
    port = 0
  }}
}}
ssl = no
auth_failure_delay = 0
"""
    (work / "dovecot.conf").write_text(conf)
    dovecot = subprocess.Popen(["dovecot", "-F", "-c", str(work / "dovecot.conf")])

    controller = Controller(Delivery(mailbox), hostname="127.0.0.1", port=free_port())
    controller.start()

    def stop(*_):
        controller.stop()
        dovecot.terminate()
        try:
            dovecot.wait(5)
        except subprocess.TimeoutExpired:
            dovecot.kill()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    deadline = time.time() + 15
    while time.time() < deadline:
        if dovecot.poll() is not None:
            print("demo: Dovecot ended at start; see " + str(work / "dovecot.log"), file=sys.stderr)
            sys.exit(1)
        try:
            socket.create_connection(("127.0.0.1", pop3), 0.2).close()
            break
        except OSError:
            time.sleep(0.05)
    print(f"POP3={pop3} SMTP={controller.port}", flush=True)
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass
    stop()


if __name__ == "__main__":
    main()
