#!/usr/bin/env python3
"""The far end of the serial tests: holds the master of a pseudo-terminal whose slave Wine
sees as COM1.

role "echo": sends back every byte it receives; while the mode file says "hold" it reads
nothing, so that the program's writes back up. Each time the mode changes to one beginning
with "scramble" it sets the line as another program might have left it (two stop bits, flow
control, 1200 baud). Before each echo it writes the line's settings to --settings-file (those
a pty keeps: it is always 8N).

role "transceiver": answers as the optical-link transceiver does. It is on while the lines
file says "cts 1" (the tests' user switches it there). At 9600 baud it echoes a configuration
packet and takes the operating rate from it; at that rate it then echoes --ready single bytes
and falls silent; once the port is closed (or the power switched) it echoes whatever arrives at
the operating rate: the link test's pattern. Bytes at any other speed come back as garbage, as
a receiver at the wrong speed sees them.

Writes the slave's path to --name-file once ready; runs until killed.
"""
import argparse
import os
import pty
import select
import sys
import termios
import time

RATE_FOR_CODE = {0x8B: 19200, 0x89: 38400, 0x83: 57600, 0x81: 115200}
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


class Transceiver:
    def __init__(self, lines_file, ready, log):
        self.lines_file = lines_file
        self.ready = ready
        self.log = log
        self.rate = 115200
        self.phase = "link"
        self.ready_left = 0
        self.pending = b""
        self.was_on = self.powered()

    def powered(self):
        return read_setting(self.lines_file, "cts") == "1"

    def closed(self):
        self.phase = "link"
        self.pending = b""

    def answer(self, data, speed):
        on = self.powered()
        if on != self.was_on:
            self.was_on = on
            self.phase = "link"
        if not on:
            return b""
        if speed == 9600:
            # The 8 bytes of a packet may come in more than one read.
            self.pending += data
            if len(self.pending) < 8:
                return b""
            packet, self.pending = self.pending[:8], b""
            if packet[0] == 0x0B and packet[1] == 0x51 and packet[5] in RATE_FOR_CODE:
                self.rate = RATE_FOR_CODE[packet[5]]
                self.ready_left = self.ready
                self.phase = "readiness" if self.ready else "silent"
                self.log.write("configured %d\n" % self.rate)
            return packet
        self.pending = b""
        if speed != self.rate:
            return bytes(0xFF if b < 0x80 else 0x00 for b in data)
        if self.phase == "silent":
            return b""
        if self.phase == "readiness":
            n = min(len(data), self.ready_left)
            self.ready_left -= n
            if self.ready_left == 0:
                self.phase = "silent"
            return data[:n]
        return data


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
    ap.add_argument("--role", choices=("echo", "transceiver"), default="echo")
    ap.add_argument("--mode-file", default="")
    ap.add_argument("--settings-file", default="")
    ap.add_argument("--lines-file", default="")
    ap.add_argument("--ready", type=int, default=3)
    ap.add_argument("--log", default="")
    args = ap.parse_args()

    log = open(args.log, "a", buffering=1) if args.log else open(os.devnull, "w")
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

    sim = Transceiver(args.lines_file, args.ready, log) if args.role == "transceiver" else None
    hung_up = True
    last_mode = None
    while True:
        mode = read_setting(args.mode_file, "mode") if sim is None else None
        if mode != last_mode and mode and mode.startswith("scramble"):
            scramble_line(master)
            replace_file(args.settings_file, describe_line(master))
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
            if not hung_up and sim:
                sim.closed()
                log.write("close\n")
            hung_up = True
            time.sleep(0.002)
            continue
        if hung_up:
            hung_up = False
            log.write("open\n")
        if sim is None:
            replace_file(args.settings_file, describe_line(master))
            out = data
        else:
            speed = SPEEDS.get(termios.tcgetattr(master)[5], 0)
            out = sim.answer(data, speed)
            log.write("rx %d %s -> %s\n" % (speed, data.hex(" "), out.hex(" ")))
        if out:
            os.write(master, out)


if __name__ == "__main__":
    sys.exit(main())
