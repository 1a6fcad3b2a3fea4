#!/usr/bin/env python3
"""The far end of a serial port for the Windows platform tests: a pseudo-terminal linked at
PATH that sends every byte back. The byte 0xFF hangs the line up (the pseudo-terminal goes away,
as a pulled USB adapter does); a fresh one is linked at PATH a moment later."""
import os
import pty
import select
import sys
import time
import tty

HANG_UP = 0xFF


def serve(link):
    master, slave = pty.openpty()
    tty.setraw(slave)
    tty.setraw(master)
    name = os.ttyname(slave)
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink(name, tmp)
    os.replace(tmp, link)
    # Only the program under test keeps the terminal open from here on.
    os.close(slave)
    while True:
        ready, _, _ = select.select([master], [], [], 0.2)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            # Nobody has the terminal open yet.
            time.sleep(0.02)
            continue
        if HANG_UP in data:
            os.write(master, data[: data.index(HANG_UP)])
            os.close(master)
            return
        os.write(master, data)


def main():
    link = sys.argv[1]
    while True:
        serve(link)
        time.sleep(0.3)


if __name__ == "__main__":
    main()
