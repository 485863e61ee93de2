#!/usr/bin/env python3
"""The far end of the serial tests: holds the master of a pseudo-terminal whose slave Wine
sees as COM1.

Sends back every byte it receives; while the mode file says "hold" it reads nothing, so that
the program's writes back up. Each time the mode changes to one beginning with "scramble" it
sets the line as another program might have left it (two stop bits, flow control, 1200 baud).
Its report, --settings-file, is the line's settings (those a pty keeps: it is always 8N) as
they stood at the last echo, the mode it has taken up, and the bytes echoed so far; it is
written when the mode changes, before each echo and after it, so that a test can wait for
what the peer did. The transceiver's part is transceiver_peer.c.

Writes the slave's path to --name-file once ready; runs until killed.
"""
import argparse
import os
import pty
import select
import sys
import termios
import time

SPEEDS = {getattr(termios, "B%d" % b): b for b in (1200, 9600, 19200, 38400, 57600, 115200)}


def read_setting(path, name):
    try:
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2 and parts[0] == name:
                    return parts[1]
    except OSError:
        pass
    return None


def describe_line(fd):
    """The line's settings as the program left them (the master sees the slave's)."""
    iflag, _, cflag, _, _, ospeed, _ = termios.tcgetattr(fd)
    flags = [("stopb", cflag & termios.CSTOPB), ("crtscts", cflag & termios.CRTSCTS),
             ("ixon", iflag & termios.IXON), ("ixoff", iflag & termios.IXOFF)]
    return "speed %d %s\n" % (SPEEDS.get(ospeed, 0),
                               " ".join("%s %d" % (n, 1 if v else 0) for n, v in flags))


def scramble_line(fd):
    iflag, oflag, cflag, lflag, _, _, cc = termios.tcgetattr(fd)
    iflag |= termios.IXON | termios.IXOFF
    cflag |= termios.CSTOPB | termios.CRTSCTS
    speed = termios.B1200
    termios.tcsetattr(fd, termios.TCSANOW, [iflag, oflag, cflag, lflag, speed, speed, cc])


def replace_file(path, text):
    if path:
        with open(path + ".tmp", "w") as f:
            f.write(text)
        os.rename(path + ".tmp", path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--name-file", required=True)
    ap.add_argument("--mode-file", default="")
    ap.add_argument("--settings-file", default="")
    args = ap.parse_args()

    master, slave = pty.openpty()
    name = os.ttyname(slave)
    # Nothing may happen to the bytes on the way: the program's own line settings should see
    # to that too, but the peer must not depend on them.
    attrs = termios.tcgetattr(slave)
    attrs[0] = 0
    attrs[1] = 0
    attrs[3] = 0
    termios.tcsetattr(slave, termios.TCSANOW, attrs)
    os.close(slave)  # from now on only the program opens it; its close reads as a hang-up
    tmp = args.name_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(name + "\n")
    os.rename(tmp, args.name_file)

    last_mode = None
    echoed = 0
    settings = ""

    def report():
        replace_file(args.settings_file, "%smode %s\nechoed %d\n" % (settings, mode, echoed))

    while True:
        mode = read_setting(args.mode_file, "mode")
        if mode != last_mode:
            if mode and mode.startswith("scramble"):
                scramble_line(master)
                settings = describe_line(master)
            report()
        last_mode = mode
        if mode == "hold":
            time.sleep(0.002)
            continue
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            # No slave open: the program has closed the port (or not opened it yet).
            time.sleep(0.002)
            continue
        settings = describe_line(master)
        report()
        os.write(master, data)
        echoed += len(data)
        report()


if __name__ == "__main__":
    sys.exit(main())
