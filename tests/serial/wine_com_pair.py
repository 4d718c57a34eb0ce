#!/usr/bin/env python3
"""Runs a command with two COM ports of the Wine prefix joined like a
null-modem cable: two pseudo-terminals whose masters this script relays to
each other, their slaves linked as <WINEPREFIX>/dosdevices/comA and comB.
The command gets QUOR_TEST_COM_PAIR="A,B" in its environment; the links go
when it ends. Used as the emulator of the Win32 comm-device contract tests:

    wine_com_pair.py wine program.exe [arguments...]
"""
import os
import pty
import select
import subprocess
import sys
import threading
import tty

FIRST_NUMBER = 20
LAST_NUMBER = 250
CHUNK = 65536


def link_pair(dosdevices, slaves):
    """Links the slaves as the first two consecutive free COM numbers.
    A link that exists already belongs to someone else (another test running
    at the same time); os.symlink refuses to replace it, which makes the
    choice safe without a lock."""
    for number in range(FIRST_NUMBER, LAST_NUMBER, 2):
        made = []
        try:
            for offset, slave in enumerate(slaves):
                link = os.path.join(dosdevices, "com%d" % (number + offset))
                os.symlink(slave, link)
                made.append(link)
            return number, made
        except FileExistsError:
            for link in made:
                os.unlink(link)
    raise SystemExit("no free COM numbers in the Wine prefix")


def relay(masters, stop):
    """Copies what each master reads to the other master, never blocking on
    a full side: bytes wait in a buffer until that side can take them."""
    pending = {m: bytearray() for m in masters}
    other = {masters[0]: masters[1], masters[1]: masters[0]}
    for m in masters:
        os.set_blocking(m, False)
    while not stop.is_set():
        readers = [m for m in masters if len(pending[other[m]]) < CHUNK]
        writers = [m for m in masters if pending[m]]
        ready_read, ready_write, _ = select.select(readers, writers, [], 0.1)
        for m in ready_read:
            try:
                data = os.read(m, CHUNK)
            except (BlockingIOError, OSError):
                continue
            pending[other[m]] += data
        for m in ready_write:
            try:
                written = os.write(m, pending[m])
            except (BlockingIOError, OSError):
                continue
            del pending[m][:written]


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    dosdevices = os.path.join(prefix, "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    masters, slaves, holders = [], [], []
    for _ in range(2):
        master, slave = pty.openpty()
        tty.setraw(slave)
        masters.append(master)
        slaves.append(os.ttyname(slave))
        holders.append(slave)
    # The slaves stay open here too: a pseudo-terminal whose slave nobody
    # holds reads as hung up on the master side until Wine opens it.
    number, links = link_pair(dosdevices, slaves)
    stop = threading.Event()
    relay_thread = threading.Thread(target=relay, args=(masters, stop), daemon=True)
    relay_thread.start()
    env = dict(os.environ, QUOR_TEST_COM_PAIR="%d,%d" % (number, number + 1))
    try:
        status = subprocess.call(sys.argv[1:], env=env)
    finally:
        stop.set()
        relay_thread.join()
        for link in links:
            os.unlink(link)
        for fd in masters + holders:
            os.close(fd)
    sys.exit(status)


if __name__ == "__main__":
    main()
