#!/usr/bin/python3
"""SMTP sink for the tests, on aiosmtpd.

Listens on 127.0.0.1 on a free port and prints "PORT <n>" once it accepts.
Every message is stored as <n>.eml (the bytes received, dot-unstuffed, line
ends untouched) and then <n>.json (the envelope), each written to a temporary
file and renamed, so a reader never sees half a file. Every new connection
appends a line to connections.log. Ends on SIGTERM or when stdin closes (the
test that started it is gone).
"""
import argparse
import asyncio
import json
import os
import signal
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_atomically(path, data):
    tmp = path + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(data)
    os.rename(tmp, path)


class CountingSMTP(SMTP):
    def __init__(self, handler, outdir, **kwargs):
        super().__init__(handler, **kwargs)
        self._outdir = outdir

    def connection_made(self, transport):
        if self.transport is None:  # a new connection, not the STARTTLS upgrade
            with open(os.path.join(self._outdir, 'connections.log'), 'a') as f:
                f.write('%s:%s\n' % transport.get_extra_info('peername')[:2])
        super().connection_made(transport)


class FileSink:
    def __init__(self, outdir, reject_prefix):
        self.outdir = outdir
        self.reject_prefix = reject_prefix
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject_prefix and address.lower().startswith(self.reject_prefix):
            return '550 5.1.1 <%s>: Recipient address rejected: User unknown' % address
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        tls = server.transport.get_extra_info('ssl_object') is not None or session.ssl is not None
        info = {
            'mail_from': envelope.mail_from,
            'rcpt_tos': envelope.rcpt_tos,
            'mail_options': envelope.mail_options,
            'helo': session.host_name,
            'tls': tls,
            'authenticated': bool(session.authenticated),
            'auth_login': session.auth_data if isinstance(session.auth_data, str) else None,
        }
        write_atomically(base + '.eml', envelope.original_content)
        write_atomically(base + '.json', json.dumps(info).encode())
        return '250 2.0.0 Queued as %d' % self.count


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
                and auth_data.password.decode() == password):
            return AuthResult(success=True, auth_data=user)
        return AuthResult(success=False, handled=False)
    return authenticate


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('outdir')
    ap.add_argument('--starttls', action='store_true')
    ap.add_argument('--smtps', action='store_true')
    ap.add_argument('--cert')
    ap.add_argument('--key')
    ap.add_argument('--auth', help='user:password')
    ap.add_argument('--require-auth', action='store_true')
    ap.add_argument('--reject-prefix', default='')
    args = ap.parse_args()

    context = None
    if args.starttls or args.smtps:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    handler = FileSink(args.outdir, args.reject_prefix.lower())
    kwargs = dict(hostname='localhost', auth_required=args.require_auth,
                  auth_require_tls=not args.smtps)
    if args.auth:
        user, _, password = args.auth.partition(':')
        kwargs['authenticator'] = make_authenticator(user, password)
    if args.starttls:
        kwargs['tls_context'] = context

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(('127.0.0.1', 0))
    sock.listen(16)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: CountingSMTP(handler, args.outdir, loop=loop, **kwargs),
        sock=sock, ssl=context if args.smtps else None))

    def on_stdin():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.stop()
    loop.add_reader(sys.stdin.fileno(), on_stdin)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    print('PORT %d' % sock.getsockname()[1], flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == '__main__':
    main()
