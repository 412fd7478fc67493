#!/usr/bin/python3
"""The floor of the benchmark: downloads and deletes every message of a POP3
mailbox on one connection with no processing at all. USER/PASS, STAT, then all
RETRs and all DELEs pipelined, then QUIT. Prints "fetched=<n> bytes=<b>".

usage: raw_pop3.py PORT USER PASSWORD
"""
import socket
import sys


class Conn:
    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port))
        self.buf = bytearray()

    def send(self, data):
        self.sock.sendall(data)

    def _fill(self):
        chunk = self.sock.recv(1 << 20)
        if not chunk:
            raise ConnectionError('server closed the connection')
        self.buf += chunk

    def line(self):
        while True:
            i = self.buf.find(b'\r\n')
            if i >= 0:
                out = bytes(self.buf[:i])
                del self.buf[:i + 2]
                if not out.startswith(b'+OK'):
                    raise RuntimeError(out.decode('latin-1'))
                return out
            self._fill()

    def multiline(self):
        self.line()
        start = 0
        while True:
            i = self.buf.find(b'\r\n.\r\n', start)
            if i >= 0:
                body = bytes(self.buf[:i + 2])
                del self.buf[:i + 5]
                return body
            start = max(0, len(self.buf) - 4)
            self._fill()


def main():
    port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    c = Conn(port)
    c.line()
    c.send(b'USER %s\r\n' % user.encode())
    c.line()
    c.send(b'PASS %s\r\n' % password.encode())
    c.line()
    c.send(b'STAT\r\n')
    count = int(c.line().split()[1])
    c.send(b''.join(b'RETR %d\r\n' % i for i in range(1, count + 1)))
    total = 0
    for _ in range(count):
        total += len(c.multiline())
    c.send(b''.join(b'DELE %d\r\n' % i for i in range(1, count + 1)))
    for _ in range(count):
        c.line()
    c.send(b'QUIT\r\n')
    c.line()
    print('fetched=%d bytes=%d' % (count, total))


if __name__ == '__main__':
    main()
