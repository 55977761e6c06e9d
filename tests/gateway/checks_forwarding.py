"""What the gateway forwards and what it answers itself: mbpoll and zentriq-poll reading through
it, the unit ids it maps, the requests it answers without touching the line, and many clients at
once."""

import os
import re
import select
import socket
import subprocess
import termios
import time

import mbap
from gateway_process import Gateway
from harness import ascii_frame
from load import Plan, run_load
from relay import lrc


def check_mbpoll(c, port, mode):
    name = f"mbpoll through the gateway ({mode})"
    done = subprocess.run(["mbpoll", "-m", "tcp", "-a", "1", "-t", "4", "-r", "4197", "-c", "10",
                           "-1", "-p", str(port), "127.0.0.1"], capture_output=True, text=True,
                          timeout=30, stdin=subprocess.DEVNULL)
    values = [(int(r), int(v)) for r, v in re.findall(r"^\[(\d+)\]:\s+(-?\d+)", done.stdout, re.M)]
    want = [(4197 + i, 4196 + i) for i in range(10)]
    c.found(name, f"exit status {done.returncode}, {len(values)} registers read, "
                  f"{sum(v in want for v in values)} as the controller holds them")
    c.expect(name, done.returncode == 0 and values == want, done.stdout[-600:] + done.stderr)


def check_poll(c, port, mode):
    name = f"zentriq-poll --host through the gateway ({mode})"
    done = subprocess.run(c.poll + ["--host", f"127.0.0.1:{port}", "--format", "csv", "read",
                                    "D100-D109"], capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)
    rows = [line.split(",") for line in done.stdout.splitlines()[1:]]
    got = [(row[0], row[3]) for row in rows if len(row) > 3]
    want = [(f"D{100 + i}", str(4196 + i)) for i in range(10)]
    c.found(name, f"exit status {done.returncode}, {len(got)} devices read, "
                  f"{sum(g in want for g in got)} as the controller holds them")
    c.expect(name, done.returncode == 0 and got == want, done.stdout[-600:] + done.stderr)


def check_load(c, port, mode, clients, requests):
    name = f"load {clients} clients x {requests} ({mode})"
    tally, seconds = run_load(port, clients, Plan(requests, depth=2))
    c.found(name, f"{tally.summary()}; {seconds:.1f} s, {tally.sent / seconds:.0f} requests/s")
    c.expect(name, tally.sound() and tally.ok == clients * requests, tally.detail())


# ---- answered by the gateway itself: a line that only the test reads ----

# The gateway here forwards to stations 1 and 5, --slave being 5, so that units 0 and 255 show on
# the line as a station of their own.
STATIONS = ["--slave", "5", "--stations", "1,5"]
# (name, unit, request PDU, the exception expected), against --read-only.
READ_ONLY_ROWS = [
    ("unit 248", 248, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), mbap.PATH_UNAVAILABLE),
    ("unit 250", 250, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), mbap.PATH_UNAVAILABLE),
    ("unit 254", 254, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), mbap.PATH_UNAVAILABLE),
    ("unit 2, not in --stations", 2, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1),
     mbap.PATH_UNAVAILABLE),
    ("unit 247, not in --stations", 247, mbap.read(mbap.READ_COILS, mbap.m(0), 8),
     mbap.PATH_UNAVAILABLE),
    ("function 04", 1, mbap.read(mbap.READ_INPUT_REGISTERS, 0, 1), mbap.ILLEGAL_FUNCTION),
    ("function 08", 1, bytes.fromhex("0800001234"), mbap.ILLEGAL_FUNCTION),
    ("function 2B", 1, bytes.fromhex("2B0E0100"), mbap.ILLEGAL_FUNCTION),
    ("function 7F", 1, bytes.fromhex("7F"), mbap.ILLEGAL_FUNCTION),
    ("write 05, --read-only", 1, mbap.write_coil(mbap.m(0), True), mbap.ILLEGAL_FUNCTION),
    ("write 06, --read-only", 1, mbap.write_register(mbap.d(0), 7), mbap.ILLEGAL_FUNCTION),
    ("write 15, --read-only", 1, mbap.write_coils(mbap.m(0), [True] * 9), mbap.ILLEGAL_FUNCTION),
    ("write 16, --read-only", 1, mbap.write_registers(mbap.d(0), [1, 2]), mbap.ILLEGAL_FUNCTION),
]
# Without --read-only: a known function whose PDU has the wrong shape.
SHAPE_ROWS = [
    ("read 0 registers", 1, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 0), mbap.ILLEGAL_VALUE),
    ("read 126 registers", 1, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 126),
     mbap.ILLEGAL_VALUE),
    ("read 2001 coils", 1, mbap.read(mbap.READ_COILS, mbap.m(0), 2001), mbap.ILLEGAL_VALUE),
    ("read 0 inputs", 1, mbap.read(mbap.READ_INPUTS, mbap.x(0), 0), mbap.ILLEGAL_VALUE),
    ("read cut short", 1, bytes.fromhex("031064"), mbap.ILLEGAL_VALUE),
    ("write 16, byte count 3 for 2 registers", 1, bytes.fromhex("1010000002030001000002"),
     mbap.ILLEGAL_VALUE),
    ("write 16 of 0 registers", 1, bytes.fromhex("1010000000" "00"), mbap.ILLEGAL_VALUE),
    ("write 15 of 1969 coils", 1, mbap.write_coils(mbap.m(0), [True] * 1969), mbap.ILLEGAL_VALUE),
    ("write 15, byte count 1 for 9 coils", 1, bytes.fromhex("0F08000009" "01" "FF"),
     mbap.ILLEGAL_VALUE),
]
# Forwarded: (name, unit, request PDU, the station the line sees, the reply the test gives).
FORWARDED_ROWS = [
    ("unit 1", 1, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 2), 1, bytes.fromhex("03040001FFFF")),
    ("unit 0", 0, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), 5, bytes.fromhex("03020102")),
    ("unit 255", 255, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), 5,
     bytes.fromhex("03020304")),
    ("unit 5", 5, mbap.read(mbap.READ_COILS, mbap.m(0), 3), 5, bytes.fromhex("010105")),
    ("function 17", 1, bytes([mbap.REPORT_SLAVE_ID]), 1, bytes.fromhex("110344FF00")),
    ("exception from the controller", 1, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), 1,
     bytes.fromhex("8302")),
]


class QuietLine:
    """The far end of the gateway's pty, read by the test: what the gateway sent on the line."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        termios.tcflush(self.fd, termios.TCIOFLUSH)

    def close(self):
        os.close(self.fd)

    def drain(self, quiet=0.2):
        data = b""
        while select.select([self.fd], [], [], quiet)[0]:
            data += os.read(self.fd, 4096)
        return data

    def frame(self, timeout=3):
        """The payload (station to last data byte) of the next ASCII frame, or None."""
        data = b""
        deadline = time.monotonic() + timeout
        while not data.endswith(b"\r\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                return None
            data += os.read(self.fd, 4096)
        body = bytes.fromhex(data[data.find(b":") + 1:-2].decode())
        return body[:-1] if lrc(body[:-1]) == body[-1] else None

    def answer(self, payload):
        os.write(self.fd, ascii_frame(payload))


def check_answered_without_line(c, lab, ports):
    tool_end, far_end = lab.pty_pair("quiet")
    line = QuietLine(far_end)
    try:
        for rows, options in ((READ_ONLY_ROWS, STATIONS + ["--read-only"]), (SHAPE_ROWS, STATIONS)):
            gateway = Gateway(lab, c.command, ports.name(tool_end), "ascii", "--verbose", *options,
                              name="gateway-quiet")
            exceptions(c, gateway.port, rows, " ".join(options))
            on_line = line.drain()
            c.found(f"answered without the line ({' '.join(options)})",
                    f"{len(rows)} requests, {len(on_line)} bytes on the line")
            c.expect(f"answered without the line ({' '.join(options)})", on_line == b"",
                     f"the line saw {on_line!r}")
            if rows is READ_ONLY_ROWS:
                forwarded(c, gateway.port, line)
                verbose(c, gateway)
            lab.stop_named("gateway-quiet")
    finally:
        line.close()
        lab.stop_pair("quiet")


def exceptions(c, port, rows, options):
    right = 0
    for name, unit, pdu, code in rows:
        reply = mbap.exchange(port, pdu, unit=unit, transaction=0x4242)
        want = ((0x4242, 0, 3, unit), bytes([pdu[0] | 0x80, code]))
        right += reply == want
        c.expect(f"{name} ({options})", reply == want, f"sent {pdu.hex()} to unit {unit}: got "
                 f"{reply}, expected exception {code:02X} as {want}")
    c.found(f"exceptions ({options})", f"{right} of {len(rows)} answered as expected")


def forwarded(c, port, line):
    right = 0
    for name, unit, pdu, station, reply_pdu in FORWARDED_ROWS:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(mbap.adu(pdu, unit, 0x0707))
            seen = line.frame()
            if seen is not None:
                line.answer(seen[:1] + reply_pdu)
            reply = b""
            while len(reply) < 7 + len(reply_pdu):
                chunk = s.recv(4096)
                if not chunk:
                    break
                reply += chunk
        want = mbap.adu(reply_pdu, unit, 0x0707)
        ok = seen == bytes([station]) + pdu and reply == want
        right += ok
        c.expect(f"forwarded: {name}", ok, f"sent {pdu.hex()} to unit {unit}: the line saw "
                 f"{seen.hex() if seen else None}, the client got {reply.hex()}, expected "
                 f"{want.hex()}")
    c.found("forwarded to the line", f"{right} of {len(FORWARDED_ROWS)} requests seen on the line "
            "with the right station and their replies passed back")


# What --verbose says of the forwarded rows above, in the controller's device names.
# The gateway may say why it answered an exception itself, after a colon.
VERBOSE_LINES = [r"^zentriq-gateway: 127\.0\.0\.1:\d+ unit 1 read D100-D101 → ok \d+ ms$",
                 r" unit 0 read D100 → ok \d+ ms$",
                 r" unit 1 read D100 → exception 02 \(illegal data address\) \d+ ms$",
                 r" unit 1 write D0=7 → exception 01 \(illegal function\)(: [^→]+)? \d+ ms$"]


def verbose(c, gateway):
    found = [gateway.wait_for(pattern, 2) for pattern in VERBOSE_LINES]
    c.found("--verbose", f"{sum(f is not None for f in found)} of {len(found)} lines as expected")
    c.expect("--verbose", all(found), f"expected lines matching {VERBOSE_LINES}: "
             f"{gateway.text()[-1200:]}")


# (name, --mode for the gateway and --framer for the simulator: None for Modbus TCP)
HOSTS = [("Modbus TCP", None), ("RTU over TCP", "rtu")]
# Faults a TCP relay puts on two tries in a row, which the third try gets past: (fault, delay);
# corrupt needs a checksum.
HOST_FAULTS = [("drop", 0), ("delay", 300), ("other-slave", 0), ("corrupt", 0)]


def check_host(c, lab):
    """--host: the gateway in front of a controller over TCP (its Ethernet module) or behind a
    serial device server, one connection shared by every client, as its serial side: mbpoll,
    zentriq-poll and a load through it; then the relay's faults under load, each request answered
    with the right value."""
    for label, framer in HOSTS:
        simulator = lab.simulator("--tcp", "0", *(["--framer", framer] if framer else []),
                                  name=f"simulator-host-{framer}")
        gateway = Gateway(lab, c.command, None, framer, "--max-clients", "80",
                          name="gateway-host", host=f"127.0.0.1:{simulator}")
        check_mbpoll(c, gateway.port, label)
        check_poll(c, gateway.port, label)
        check_load(c, gateway.port, label, 16, 40)
        lab.stop_named("gateway-host")
        for fault, delay in HOST_FAULTS:
            if fault == "corrupt" and not framer:
                continue
            name = f"{label}: {fault} x2 under load"
            relay = lab.relay("--tcp", "0", "--to", simulator,
                              *(["--framer", framer] if framer else []), "--fault", fault,
                              "--times", "2", "--after", "20", "--delay", str(delay),
                              name=f"relay-host-{fault}-{framer}")
            gateway = Gateway(lab, c.command, None, framer, "--timeout", "200",
                              "--max-clients", "80", name="gateway-host-fault",
                              host=f"127.0.0.1:{relay}")
            tally, seconds = run_load(gateway.port, 8, Plan(40, depth=2))
            spoiled = lab.log(f"relay-host-{fault}-{framer}").count("relay: reply")
            lab.stop_named("gateway-host-fault")
            lab.stop_named(f"relay-host-{fault}-{framer}")
            c.found(name, f"{spoiled} replies spoiled; {tally.summary()}; {seconds:.1f} s")
            c.expect(name, tally.sound() and tally.ok == 8 * 40 and spoiled == 2, tally.detail())
        lab.stop_named(f"simulator-host-{framer}")


def check_log_levels(c, lab, ports, tool_end):
    """--log-level: quiet says no client's connection, connections (the default) does, requests
    adds a line per request."""
    for level, connected, read in (("quiet", False, False), ("connections", True, False),
                                   ("requests", True, True)):
        gateway = Gateway(lab, c.command, ports.name(tool_end), "ascii", "--log-level", level,
                          name="gateway-log")
        since = gateway.mark()
        reply = mbap.exchange(gateway.port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 2))
        said = gateway.wait_for(r"closed: ", 5, since) is not None
        lab.stop_named("gateway-log")
        text = gateway.text(since)
        name = f"--log-level {level}"
        c.expect(name, reply is not None and said == connected and
                 (" connected (1 client)" in text) == connected and
                 ("unit 1 read D100-D101 \u2192 ok" in text) == read, text[-400:])
