#!/usr/bin/env python3
"""Runs a command and relays its standard output, decoded from CP932 (the
console code page of a Japanese Windows) to UTF-8, as the bytes arrive, so that
prompts show before the program waits for input. Standard input and error pass
through; the exit code is the command's."""
import codecs
import os
import subprocess
import sys


def main():
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, bufsize=0)
    decoder = codecs.getincrementaldecoder('cp932')(errors='replace')
    out = sys.stdout
    pending = ''  # a carriage return whose line feed may come in the next chunk
    while True:
        chunk = os.read(child.stdout.fileno(), 4096)
        if not chunk:
            break
        text = (pending + decoder.decode(chunk)).replace('\r\n', '\n')
        pending = '\r' if text.endswith('\r') else ''
        out.write(text[:-1] if pending else text)
        out.flush()
    out.write(pending + decoder.decode(b'', final=True))
    out.flush()
    return child.wait()


if __name__ == '__main__':
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
