#!/usr/bin/python3
"""A relay between the tool and the simulated controller that spoils replies on purpose.

    relay.py --serial TOOL_END SIMULATOR_END --framer ascii|rtu FAULT [--times N] [--after K]
             [--gaps FILE]
    relay.py --tcp PORT --to SIMULATOR_PORT [--framer ascii|rtu] FAULT [--times N] [--after K]
    FAULT: --fault none|segment|drop|delay|slow|truncate|corrupt|other-slave|other-request|garbage|silent
           [--delay MS]

Requests pass unchanged. segment passes each reply in pieces of 1 to 7 bytes, each after a gap of
up to --delay ms (seeded: the same run, the same pieces), as a serial device server and a network
that retransmits or roams deliver it. After the first K replies (default 0), the next N replies (0: every reply)
get the fault, the rest pass. Replies
are never reordered: one held back (delay) holds back those after it, as on a line where the
controller answers late. A slow controller (slow) serves one request at a time, each reply the
delay after the one before it or after its own request, whichever is later, so that replies to
tries that timed out queue up exactly as they do on a real slow controller. Reply boundaries: CR LF in ascii, 20 ms of silence in rtu, the MBAP length
on TCP without --framer (with it, the serial frames over TCP, as a serial device server passes
them). On serial the relay opens one end of each of two pty pairs (tool side, simulator side); on
TCP it listens on 127.0.0.1 and opens one connection to the simulator per client. It prints "ready
<path-or-port>" once listening, and one line per spoiled reply on stderr. --gaps FILE writes,
for every request that follows a reply, the seconds from handing the tool the reply's last bytes
to the request's first byte read from it: the silence the tool kept between the two frames, or
more, never less."""

import argparse
import os
import random
import select
import signal
import socket
import struct
import sys
import termios
import time

RTU_GAP = 0.020
ASCII_NOISE = b"\x00\xff#noise\r\n"
# Each function code's neighbour: a reply to the one looks like a reply to the other.
OTHER_FUNCTION = {1: 2, 2: 1, 3: 4, 4: 3, 5: 6, 6: 5, 15: 16, 16: 15}


def lrc(payload):
    return (-sum(payload)) & 0xFF


def crc16(payload):
    crc = 0xFFFF
    for byte in payload:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return struct.pack("<H", crc)


class Serial:
    """Slave address to last data byte, out of and back into a serial frame."""

    def __init__(self, framer):
        self.framer = framer

    def payload(self, frame):
        if self.framer == "ascii":
            return bytes.fromhex(frame[1:-4].decode("ascii"))
        return frame[:-2]

    def frame(self, payload):
        if self.framer == "ascii":
            return b":" + (payload + bytes([lrc(payload)])).hex().upper().encode() + b"\r\n"
        return payload + crc16(payload)

    def corrupt(self, frame):
        # The last data byte changes; the checksum stays as it was.
        if self.framer == "ascii":
            at = len(frame) - 5
            digit = b"%X" % (int(frame[at:at + 1], 16) ^ 1)
            return frame[:at] + digit + frame[at + 1:]
        return frame[:-3] + bytes([frame[-3] ^ 0x01]) + frame[-2:]

    def other_slave(self, frame):
        payload = self.payload(frame)
        return self.frame(bytes([payload[0] % 247 + 1]) + payload[1:])

    def other_request(self, frame):
        payload = self.payload(frame)
        error, function = payload[1] & 0x80, payload[1] & 0x7F
        function = OTHER_FUNCTION.get(function, function ^ 0x01)
        return self.frame(payload[:1] + bytes([error | function]) + payload[2:])

    def garbage(self, frame):
        noise = ASCII_NOISE if self.framer == "ascii" else random.Random(7).randbytes(5)
        return noise + frame


class Tcp:
    """The same spoilers for an MBAP frame: transaction id, protocol, length, unit, PDU."""

    def other_slave(self, frame):
        return frame[:6] + bytes([frame[6] % 247 + 1]) + frame[7:]

    def other_request(self, frame):
        transaction = (struct.unpack(">H", frame[:2])[0] + 1) & 0xFFFF
        return struct.pack(">H", transaction) + frame[2:]

    def garbage(self, frame):
        return random.Random(7).randbytes(5) + frame


SEGMENTS = random.Random(2026)


def segments(frame, delay):
    """`frame` in pieces of 1 to 7 bytes, each held up to `delay` seconds after the one before."""
    pieces, held = [], 0.0
    while frame:
        size = SEGMENTS.randint(1, 7)
        held += SEGMENTS.uniform(0, delay) if pieces else 0.0
        pieces.append((held, frame[:size]))
        frame = frame[size:]
    return pieces


# fault -> what reaches the tool: a list of (seconds held, bytes); empty is no reply at all.
FAULTS = {
    "none": lambda link, frame, delay: [(0, frame)],
    "segment": lambda link, frame, delay: segments(frame, delay),
    "drop": lambda link, frame, delay: [],
    "delay": lambda link, frame, delay: [(delay, frame)],
    "slow": lambda link, frame, delay: [(delay, frame)],
    "truncate": lambda link, frame, delay: [(0, frame[:len(frame) // 2])],
    "corrupt": lambda link, frame, delay: [(0, link.corrupt(frame))],
    "other-slave": lambda link, frame, delay: [(0, link.other_slave(frame))],
    "other-request": lambda link, frame, delay: [(0, link.other_request(frame))],
    "garbage": lambda link, frame, delay: [(0, link.garbage(frame))],
    "silent": lambda link, frame, delay: [],
}


class Replies:
    """Counts the replies and spoils --times of them after the first --after (all with 0, or all
    after silent)."""

    def __init__(self, args, link):
        self.args, self.link = args, link
        self.count = 0
        self.silenced = False

    def spoil(self, frame):
        self.count += 1
        counted = self.count - self.args.after
        faulty = self.silenced or (counted > 0 and (self.args.times == 0 or
                                                    counted <= self.args.times))
        if not faulty:
            return [(0, frame)]
        self.silenced |= self.args.fault == "silent"
        print(f"relay: reply {self.count}: {self.args.fault} {frame!r}", file=sys.stderr,
              flush=True)
        return FAULTS[self.args.fault](self.link, frame, self.args.delay / 1000)


def split_frames(framer, buffer, idle):
    """(complete replies, rest) of `buffer`; `idle`: the rtu line has been quiet long enough."""
    frames = []
    while buffer:
        if framer == "ascii":
            end = buffer.find(b"\r\n")
            if end < 0:
                break
            frames.append(buffer[:end + 2])
            buffer = buffer[end + 2:]
        elif framer == "rtu":
            if not idle:
                break
            frames.append(buffer)
            buffer = b""
        else:
            if len(buffer) < 6:
                break
            size = 6 + struct.unpack(">H", buffer[4:6])[0]
            if len(buffer) < size:
                break
            frames.append(buffer[:size])
            buffer = buffer[size:]
    return frames, buffer


class Stream:
    """One direction's pending output: held replies leave in order, each not before its time."""

    def __init__(self, serial_server=False):
        self.queue = []  # (time due, bytes)
        self.serial_server = serial_server  # one reply at a time, each after the last is out
        self.last_due = 0.0

    def add(self, now, pieces):
        for held, data in pieces:
            due = now + held
            if self.serial_server and held:
                due = max(now, self.last_due) + held
            if self.queue:
                due = max(due, self.queue[-1][0])
            self.last_due = due
            self.queue.append((due, data))

    def due(self, now):
        ready = b"".join(data for due, data in self.queue if due <= now)
        self.queue = [(due, data) for due, data in self.queue if due > now]
        return ready

    def next_time(self):
        return self.queue[0][0] if self.queue else None


def write_all(target, data):
    while data:
        if isinstance(target, socket.socket):
            target.sendall(data)
            return
        try:
            data = data[os.write(target, data):]
        except BlockingIOError:
            select.select([], [target], [], 1)


def read_some(source):
    if isinstance(source, socket.socket):
        return source.recv(4096)
    return os.read(source, 4096)


class Pair:
    """The tool's side and the simulator's side of one conversation."""

    def __init__(self, tool, simulator, replies, framer):
        self.tool, self.simulator, self.replies, self.framer = tool, simulator, replies, framer
        self.buffer = b""
        self.last_byte = 0.0
        self.out = Stream(replies.args.fault == "slow")
        self.reply_ended = None  # when the last reply's last byte went to the tool
        self.gaps = open(replies.args.gaps, "a") if replies.args.gaps else None

    def from_tool(self, data):
        if self.gaps and self.reply_ended is not None:
            self.gaps.write(f"{time.monotonic() - self.reply_ended:.6f}\n")
            self.gaps.flush()
        self.reply_ended = None
        write_all(self.simulator, data)

    def to_tool(self, data):
        # Taken before the write: the tool cannot answer bytes it has not been handed, so a gap
        # measured from here is never shorter than the one the tool kept, however late this
        # process is scheduled again after the write on a busy machine.
        self.reply_ended = time.monotonic()
        write_all(self.tool, data)

    def from_simulator(self, data, now):
        self.buffer += data
        self.last_byte = now
        self.cut(now)

    def cut(self, now):
        idle = now - self.last_byte >= RTU_GAP
        frames, self.buffer = split_frames(self.framer, self.buffer, idle)
        for frame in frames:
            self.out.add(now, self.replies.spoil(frame))

    def deadline(self):
        times = [self.out.next_time()]
        if self.framer == "rtu" and self.buffer:
            times.append(self.last_byte + RTU_GAP)
        return min((t for t in times if t is not None), default=None)


def open_pty(path, quiet=0.0):
    """Opens a pty end with nothing a previous relay left behind in it; with `quiet`, also drops
    what still comes until the end has been quiet that long (the simulator's answers to requests a
    previous relay passed on just before it was stopped, which would count as replies here)."""
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    termios.tcflush(fd, termios.TCIOFLUSH)
    while quiet and select.select([fd], [], [], quiet)[0]:
        os.read(fd, 4096)
    return fd


def run(args):
    pairs = []
    listener = None
    if args.serial:
        pairs.append(Pair(open_pty(args.serial[0]), open_pty(args.serial[1], quiet=0.3),
                          Replies(args, Serial(args.framer)), args.framer))
        print("ready", args.serial[0], flush=True)
    else:
        listener = socket.create_server(("127.0.0.1", args.tcp))
        # One count for every client: replies overall.
        replies = Replies(args, Serial(args.framer) if args.framer else Tcp())
        print("ready", listener.getsockname()[1], flush=True)
    while True:
        deadlines = [t for t in (p.deadline() for p in pairs) if t is not None]
        wait = max(0.0, min(deadlines) - time.monotonic()) if deadlines else None
        sources = [listener] if listener else []
        sources += [end for p in pairs for end in (p.tool, p.simulator)]
        readable = select.select(sources, [], [], wait)[0]
        now = time.monotonic()
        for source in readable:
            if source is listener:
                client, _ = listener.accept()
                upstream = socket.create_connection(("127.0.0.1", args.to))
                pairs.append(Pair(client, upstream, replies, args.framer or "tcp"))
                continue
            pair = next((p for p in pairs if source in (p.tool, p.simulator)), None)
            if pair is None:  # closed a moment ago, with its other end
                continue
            try:
                data = read_some(source)
            except OSError:
                data = b""  # a pty whose other end has gone
            if not data:
                if listener is None:
                    return 1
                close(pair, pairs)
            elif source is pair.tool:
                pair.from_tool(data)
            else:
                pair.from_simulator(data, now)
        for pair in list(pairs):
            pair.cut(now)
            ready = pair.out.due(now)
            try:
                if ready:
                    pair.to_tool(ready)
            except OSError:  # a TCP client that has gone
                close(pair, pairs)


def close(pair, pairs):
    pair.tool.close()
    pair.simulator.close()
    pairs.remove(pair)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--serial", nargs=2, metavar=("TOOL_END", "SIMULATOR_END"))
    where.add_argument("--tcp", type=int, metavar="PORT")
    parser.add_argument("--to", type=int, metavar="SIMULATOR_PORT")
    parser.add_argument("--framer", choices=["ascii", "rtu"])
    parser.add_argument("--fault", choices=sorted(FAULTS), required=True)
    parser.add_argument("--delay", type=int, default=0, metavar="MS")
    parser.add_argument("--times", type=int, default=1)
    parser.add_argument("--after", type=int, default=0)
    parser.add_argument("--gaps", metavar="FILE")
    args = parser.parse_args()
    if args.serial and not args.framer:
        parser.error("--serial needs --framer")
    if args.tcp is not None and (args.to is None or args.fault == "corrupt" and not args.framer):
        parser.error("TCP needs --to, and Modbus TCP has no checksum for corrupt to spoil")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        return run(args)
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
