#!/usr/bin/python3
"""A slow link for the benchmark: listens on 127.0.0.1 (a free port, printed as
"PORT <n>") and relays every connection to TARGET_PORT on 127.0.0.1, holding
each chunk DELAY_MS milliseconds in each direction before passing it on, in
order, as a long line would. Ends on SIGTERM or when stdin closes.

usage: slow_relay.py TARGET_PORT DELAY_MS
"""
import asyncio
import os
import signal
import socket
import sys


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                break
        await sender
    except (ConnectionError, asyncio.CancelledError):
        sender.cancel()


async def main():
    target_port = int(sys.argv[1])
    delay = int(sys.argv[2]) / 1000.0
    loop = asyncio.get_running_loop()

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection('127.0.0.1', target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay),
                             return_exceptions=True)
        server_writer.close()
        client_writer.close()

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(('127.0.0.1', 0))
    sock.listen(16)
    server = await asyncio.start_server(handle, sock=sock)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_reader(sys.stdin.fileno(), lambda: os.read(sys.stdin.fileno(), 4096) or stop.set())
    print('PORT %d' % sock.getsockname()[1], flush=True)
    await stop.wait()
    server.close()


if __name__ == '__main__':
    asyncio.run(main())
