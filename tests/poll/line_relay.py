#!/usr/bin/python3
"""A serial line at its real speed between the tool and the simulated controller, which a pty pair
(moving bytes at no baud rate at all) is not:

    line_relay.py --serial TOOL_END SIMULATOR_END [--framer ascii|rtu] [--baud N] [--line 7E1]
                  [--reply-delay MS]

One line for both directions, as on RS-485: each byte is passed on one character time (start bit,
data bits, parity bit, stop bits at the baud rate) after the line was free for it, and a reply
begins the reply delay after its request's last character, or later if the simulator answers
later; in RTU a frame also waits the silence that ends the frame before it (3.5 characters, 1.75 ms
above 19200 baud). Every time is reckoned from when the line was free, never from when the relay
got round to it: on a busy machine a byte may be handed on late, but the line's schedule, and so
the time a scan takes, does not stretch. Prints "ready TOOL_END" once both ends are open."""

import argparse
import os
import select
import signal
import sys
import time

from relay import open_pty, read_some, write_all

FAST_LINE_SILENCE = 0.00175


def character_time(baud, line):
    """Seconds one character of a line such as 7E1 takes."""
    data, parity, stop = int(line[0]), line[1].upper(), int(line[2])
    return (1 + data + (parity != "N") + stop) / baud


class Line:
    """When each byte is due at its far end: one schedule for both directions, the tool's frames
    and the controller's taking turns."""

    def __init__(self, character, silence, reply_delay):
        self.character, self.silence, self.reply_delay = character, silence, reply_delay
        self.free = 0.0  # when the last character on the line ended
        self.sender = None

    def schedule(self, sender, arrived, count):
        start = max(arrived, self.free)
        if sender != self.sender:  # a new frame, after the other side's
            start = max(start, self.free + self.silence +
                        (self.reply_delay if sender == "controller" else 0.0))
            self.sender = sender
        dues = [start + (k + 1) * self.character for k in range(count)]
        self.free = dues[-1]
        return dues


class Direction:
    """The bytes on their way to one end, each with the time it is due there."""

    def __init__(self, target):
        self.target = target
        self.queue = []  # (due, byte)

    def add(self, dues, data):
        self.queue.extend(zip(dues, data))

    def deliver(self, now):
        ready = bytes(byte for due, byte in self.queue if due <= now)
        self.queue = [(due, byte) for due, byte in self.queue if due > now]
        if ready:
            write_all(self.target, ready)

    def next_due(self):
        return self.queue[0][0] if self.queue else None


def run(args):
    character = character_time(args.baud, args.line)
    silence = 0.0
    if args.framer == "rtu":
        silence = max(3.5 * character, FAST_LINE_SILENCE if args.baud > 19200 else 0.0)
    line = Line(character, silence, args.reply_delay / 1000)
    tool = open_pty(args.serial[0])
    controller = open_pty(args.serial[1], quiet=0.3)
    to_controller, to_tool = Direction(controller), Direction(tool)
    print("ready", args.serial[0], flush=True)
    while True:
        dues = [d for d in (to_controller.next_due(), to_tool.next_due()) if d is not None]
        wait = max(0.0, min(dues) - time.monotonic()) if dues else None
        readable = select.select([tool, controller], [], [], wait)[0]
        now = time.monotonic()
        for source in readable:
            try:
                data = read_some(source)
            except OSError:
                data = b""  # a pty whose other end has gone
            if not data:
                return 1
            sender = "tool" if source == tool else "controller"
            towards = to_controller if source == tool else to_tool
            towards.add(line.schedule(sender, now, len(data)), data)
        now = time.monotonic()
        to_controller.deliver(now)
        to_tool.deliver(now)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serial", nargs=2, required=True, metavar=("TOOL_END", "SIMULATOR_END"))
    parser.add_argument("--framer", choices=["ascii", "rtu"], default="ascii")
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--line", default="7E1")
    parser.add_argument("--reply-delay", type=float, default=10, metavar="MS")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        return run(args)
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
