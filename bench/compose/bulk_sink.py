#!/usr/bin/python3
"""SMTP server for the bulk-send benchmark, on aiosmtpd: listens on 127.0.0.1
on a free port, prints "PORT <n>", accepts every message and keeps only the
counts (messages, connections, bytes), which it writes to the file given as
its argument after every message. Ends on SIGTERM or when stdin closes."""
import asyncio
import json
import os
import signal
import socket
import sys

from aiosmtpd.smtp import SMTP


class Counter:
    def __init__(self, path):
        self.path = path
        self.stats = {'messages': 0, 'connections': 0, 'bytes': 0}

    def write(self):
        tmp = self.path + '.tmp'
        with open(tmp, 'w') as f:
            json.dump(self.stats, f)
        os.rename(tmp, self.path)

    async def handle_DATA(self, server, session, envelope):
        self.stats['messages'] += 1
        self.stats['bytes'] += len(envelope.original_content)
        self.write()
        return '250 OK'


class CountingSMTP(SMTP):
    def __init__(self, handler, counter, **kwargs):
        super().__init__(handler, **kwargs)
        self._counter = counter

    def connection_made(self, transport):
        if self.transport is None:
            self._counter.stats['connections'] += 1
        super().connection_made(transport)


def main():
    counter = Counter(sys.argv[1])
    counter.write()
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(('127.0.0.1', 0))
    sock.listen(16)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: CountingSMTP(counter, counter, hostname='localhost', loop=loop,
                             data_size_limit=64 * 1024 * 1024), sock=sock))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_reader(sys.stdin.fileno(), lambda: None if os.read(sys.stdin.fileno(), 4096) else loop.stop())
    print('PORT %d' % sock.getsockname()[1], flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == '__main__':
    main()
