#!/usr/bin/env python3
"""Runs a command and relays its standard output and standard error, decoded
from CP932 (the console code page of a Japanese Windows) to UTF-8, each to its
own stream as the bytes arrive, so that prompts show before the program waits
for input. Standard input passes through; the exit code is the command's."""
import codecs
import os
import selectors
import subprocess
import sys


class Relay:
    """One stream of the child: its bytes decoded and written to `out`, CRLF
    as LF (a carriage return whose line feed may come in the next chunk is
    held back)."""

    def __init__(self, out):
        self.out = out
        self.decoder = codecs.getincrementaldecoder('cp932')(errors='replace')
        self.pending = ''

    def write(self, chunk):
        text = (self.pending + self.decoder.decode(chunk)).replace('\r\n', '\n')
        self.pending = '\r' if text.endswith('\r') else ''
        self.out.write(text[:-1] if self.pending else text)
        self.out.flush()

    def close(self):
        self.out.write(self.pending + self.decoder.decode(b'', final=True))
        self.out.flush()


def main():
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             bufsize=0)
    selector = selectors.DefaultSelector()
    selector.register(child.stdout, selectors.EVENT_READ, Relay(sys.stdout))
    selector.register(child.stderr, selectors.EVENT_READ, Relay(sys.stderr))
    while selector.get_map():
        for key, _ in selector.select():
            chunk = os.read(key.fileobj.fileno(), 4096)
            if chunk:
                key.data.write(chunk)
            else:
                key.data.close()
                selector.unregister(key.fileobj)
    return child.wait()


if __name__ == '__main__':
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
