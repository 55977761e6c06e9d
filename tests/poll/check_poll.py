#!/usr/bin/python3
"""End-to-end checks of zentriq-poll against a simulated controller (simulator.py, a pymodbus
server shaped like the controller's map), over Modbus ASCII and RTU on pty pairs, over Modbus TCP
and over ASCII and RTU frames on TCP (as through a serial device server) on 127.0.0.1, directly and
through a relay that spoils replies (relay.py):

    check_poll.py [WRAPPER...] PROGRAM

where WRAPPER is the command that runs PROGRAM (such as Wine with its arguments). Every failed
check is listed, then the script exits 1."""

import argparse
import csv
import io
import json
import os
import pty
import re
import select
import signal
import socket
import subprocess
import sys
import time

from harness import (HarnessError, Lab, ascii_frame, exchange_serial, exchange_stream,
                     exchange_tcp, rtu_frame, stop_on_signals)
from relay import crc16, lrc
from wine_ports import WinePorts

COLUMNS = ["device", "table", "address", "value", "hex", "note", "error"]
SERIAL = ("ascii", "rtu")  # on pty pairs
OVER_TCP = ("ascii-tcp", "rtu-tcp")  # the serial frames on TCP, as a serial device server passes them
CHECKSUMMED = SERIAL + OVER_TCP
ALL = SERIAL + ("tcp",) + OVER_TCP


def framing(transport):
    """ascii, rtu or tcp: how the transport's frames are made."""
    return transport.removesuffix("-tcp")


FAST = ["--timeout", "200"]  # where the controller fails to answer; elsewhere the default
NO_ANSWER = "no answer within 200 ms after 3 tries"
UNSOUND = "no sound answer after 3 tries"
ISO_TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}")

# `read D100 M0-M15 X0-X17 T5 C200` against the simulator's initial values (a register holds its
# own address, a bit is 1 at an odd address): device, table, address, value, hex.
READ_ITEMS = ["D100", "M0-M15", "X0-X17", "T5", "C200"]
READ_ROWS = """\
D100,holding register,1064,4196,0x1064
M0,coil,0800,0,
M1,coil,0801,1,
M2,coil,0802,0,
M3,coil,0803,1,
M4,coil,0804,0,
M5,coil,0805,1,
M6,coil,0806,0,
M7,coil,0807,1,
M8,coil,0808,0,
M9,coil,0809,1,
M10,coil,080A,0,
M11,coil,080B,1,
M12,coil,080C,0,
M13,coil,080D,1,
M14,coil,080E,0,
M15,coil,080F,1,
X0,discrete input,0400,0,
X1,discrete input,0401,1,
X2,discrete input,0402,0,
X3,discrete input,0403,1,
X4,discrete input,0404,0,
X5,discrete input,0405,1,
X6,discrete input,0406,0,
X7,discrete input,0407,1,
X10,discrete input,0408,0,
X11,discrete input,0409,1,
X12,discrete input,040A,0,
X13,discrete input,040B,1,
X14,discrete input,040C,0,
X15,discrete input,040D,1,
X16,discrete input,040E,0,
X17,discrete input,040F,1,
T5,coil,0605,1,
T5,holding register,0605,1541,0x0605
C200,coil,0EC8,0,
C200,holding register,0EC8,,0x0EC8"""
WRITE = ["D100=250", "Y0=1", "M5=off", "D101=-3", "D102=0x00FA"]
WRITTEN_ROWS = """\
D100,holding register,1064,250,0x00FA
D101,holding register,1065,-3,0xFFFD
D102,holding register,1066,250,0x00FA
Y0,coil,0500,1,
M5,coil,0805,0,"""
# What each transport's frames of `read D100` look like with --verbose.
VERBOSE = {
    "ascii": ["> :01031064000187", "< :010302106486"],
    "rtu": ["> 01 03 10 64 00 01 C1 15", "< 01 03 02 10 64 B4 6F"],
    "tcp": ["> [tcp ", " 01 03 10 64 00 01", "< [tcp ", " 01 03 02 10 64"],
}
VERBOSE.update({transport: VERBOSE[framing(transport)] for transport in OVER_TCP})
# The only values a read through the relay may ever show (device, table) -> value.
TRUE_VALUES = {(row[0], row[1]): row[3] for row in csv.reader(READ_ROWS.splitlines()[:17])}
TRUE_VALUES[("D3000", "holding register")] = "7096"

# What a write through the relay writes, and so the only value its read-back may show.
FAULT_WRITE = ["D3100=11", "D3200=22", "D3300=33"]
TRUE_VALUES.update({("D3100", "holding register"): "11", ("D3200", "holding register"): "22",
                    ("D3300", "holding register"): "33"})
NOT_READ = "zentriq-poll: D100: not read: the controller did not answer M0-M15"


class Fault:
    """One row of spoiled replies: the fault, how many replies it spoils (0: all) after how many
    passed, the transports, how the tool is run, the exit status and what stderr says.

    run: "read" reads D100 and M0-M15 (two requests, two function codes); "same" reads D100 and
    D3000, and "watch" watches them for two scans: two requests of the same shape, so that a late
    reply taken for the next request shows as a wrong value; "write" writes D3100, D3200 and D3300
    and reads them back, the same again. With 3 tries, one spoiled reply costs a retry and nothing
    else; a request with no byte after its tries ends the scan."""

    def __init__(self, fault, times, transports, status, fragments, delay=300, after=0,
                 run="read", retries=None):
        self.fault, self.times, self.transports = fault, times, transports
        self.status, self.fragments = status, fragments
        self.delay, self.after, self.run, self.retries = delay, after, run, retries

    def name(self, transport):
        return (f"{transport} {self.fault} {self.delay} ms x{self.times or 'all'} after "
                f"{self.after} ({self.run})")


LATE = "later than --timeout 200 ms"
FAULT_ROWS = [
    Fault("drop", 1, ALL, 0, []),
    Fault("drop", 0, ALL, 1, [f"zentriq-poll: M0-M15: {NO_ANSWER}\n{NOT_READ}\n"]),
    Fault("delay", 1, ALL, 0, [], run="same"),
    Fault("truncate", 1, ALL, 0, []),
    Fault("truncate", 0, ALL, 1, ["zentriq-poll: D100: ", "after 3 tries"]),
    Fault("corrupt", 1, CHECKSUMMED, 0, []),
    Fault("corrupt", 0, CHECKSUMMED, 1, [f"zentriq-poll: D100: {UNSOUND}: ",
                                         f"M0-M15: {UNSOUND}: "]),
    Fault("other-slave", 1, ALL, 0, []),
    Fault("other-slave", 0, ALL, 1, ["zentriq-poll: D100: ", "after 3 tries"]),
    Fault("other-request", 1, ALL, 0, []),
    Fault("other-request", 0, ALL, 1, ["zentriq-poll: D100: ", "after 3 tries"]),
    Fault("garbage", 1, CHECKSUMMED, 0, []),
    # Noise before the colon is skipped, every time.
    Fault("garbage", 0, ("ascii", "ascii-tcp"), 0, []),
    Fault("silent", 1, ALL, 1, [f"zentriq-poll: M0-M15: {NO_ANSWER}\n{NOT_READ}\n"]),
    # A slow controller: every reply later than the timeout, one request served at a time.
    Fault("slow", 0, ALL, 0, [], delay=240, run="same"),
    Fault("slow", 0, ALL, 0, [], delay=300, run="same"),
    Fault("slow", 0, ALL, 0, [], delay=240, run="write"),
    # One late reply, to the second request: without retries it is silent and ends the scan, and
    # the reply that comes while it is waited out says the controller is only slow.
    # (280 ms rather than just past the timeout: Wine's serial writes take tens of ms to return.)
    Fault("delay", 1, ALL, 0, [], delay=280, after=1, run="watch", retries=0),
    Fault("delay", 1, ALL, 0, [], delay=280, after=4, run="write"),
    # One stall of 3.5 timeouts: the third try's wait ends half a timeout before the replies come,
    # or, on a machine loaded enough to delay the tries, takes them; either way no wrong value.
    Fault("delay", 1, ALL, 0, [], delay=700, after=1, run="watch"),
    Fault("delay", 1, ALL, (0, 1), [], delay=700, after=4, run="write"),
]
# The late rows' hint.
LATE_HINTS = {(280, "watch"): LATE, (700, "watch"): LATE, (700, "write"): LATE}
# What a line that never answers is told to check, by transport.
SILENT_HINTS = {
    "ascii": "did not answer at all: check that --mode ascii, --baud 9600, --line 8N1",
    "rtu": "did not answer at all: check that --mode rtu, --baud 9600, --line 8N1",
    "tcp": "that it is a Modbus TCP server",
    "ascii-tcp": "check that --mode ascii and --slave 1 match the controller, and that the device "
                 "server passes the frames on",
    "rtu-tcp": "check that --mode rtu and --slave 1 match the controller, and that the device "
               "server passes the frames on",
}


class Checker:
    def __init__(self, command):
        self.command = command
        self.faults = []

    def run(self, args, timeout=60, stdin=None):
        try:
            done = subprocess.run(self.command + args, capture_output=True, timeout=timeout,
                                  **({"input": stdin} if stdin is not None else
                                     {"stdin": subprocess.DEVNULL}))
        except subprocess.TimeoutExpired:
            return None, "", f"(still running after {timeout} s, stopped)"
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode(
            "utf-8", "replace")

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}")
        return condition

    def expect_exit(self, name, got, want, stderr):
        return self.expect(name, got == want, f"exit status {got}, expected {want}; stderr: "
                           f"{stderr[:400]}")


# Under Wine the program opens a pty as a COM port linked to it; natively, by its path.
PORTS = None


def on_pty(end, mode, line="8N1"):
    """The connection options for a pty end: a pty has no parity and 8 data bits."""
    return ["--port", PORTS.name(end), "--mode", mode, "--line", line]


def on_host(port, transport):
    """The connection options for a TCP port on 127.0.0.1: Modbus TCP, or the serial frames."""
    mode = [] if transport == "tcp" else ["--mode", framing(transport)]
    return ["--host", f"127.0.0.1:{port}"] + mode


def csv_rows(text):
    return list(csv.reader(io.StringIO(text)))


def five(rows):
    """device, table, address, value, hex of each row."""
    return [row[:5] for row in rows]


def literal(block):
    return list(csv.reader(block.splitlines()))


# ---- the simulator itself, with raw frames (a fault here says nothing about the tool) ----

SIMULATOR_CHECKS = [  # request payload -> reply payload, slave 1
    ("read D100", "0103" "1064" "0001", "0103" "02" "1064"),
    ("read 0700, no device", "0103" "0700" "0001", "0183" "02"),
    ("read D9000, left out", "0103" "A328" "0001", "0183" "02"),
    ("input register", "0104" "0000" "0001", "0184" "02"),
    ("X17 on 02", "0102" "040F" "0001", "0102" "01" "01"),
    ("X0 on 01", "0101" "0400" "0001", "0181" "02"),
    ("Y376 set on", "0105" "05FE" "FF00", "0105" "05FE" "FF00"),
    ("Y376 on 02", "0102" "05FE" "0001", "0102" "01" "01"),
]


def check_simulator(transport, where):
    for name, request, reply in SIMULATOR_CHECKS:
        payload = bytes.fromhex(request)
        if transport == "tcp":
            got = exchange_tcp(int(where), payload[1:])[6:]
        else:
            frame = ascii_frame(payload) if framing(transport) == "ascii" else rtu_frame(payload)
            raw = (exchange_stream(int(where), frame) if transport in OVER_TCP else
                   exchange_serial(where, frame))
            got = unframe(framing(transport), raw)
        if got != bytes.fromhex(reply):
            raise HarnessError(f"simulator over {transport}, {name}: {got!r}, expected {reply}")


def unframe(transport, raw):
    if transport == "ascii":
        if not (raw.startswith(b":") and raw.endswith(b"\r\n")):
            return raw
        body = bytes.fromhex(raw[1:-2].decode())
        return body[:-1] if lrc(body[:-1]) == body[-1] else raw
    return raw[:-2] if crc16(raw[:-2]) == raw[-2:] else raw


# ---- the tool against a controller that answers well ----

def check_read(c, transport, connection):
    name = f"{transport} read"
    code, out, err = c.run(connection + ["--format", "csv", "read"] + READ_ITEMS)
    if not c.expect_exit(name, code, 0, err):
        return
    rows = csv_rows(out)
    c.expect(name, rows[:1] == [COLUMNS], f"header {rows[:1]}")
    c.expect(name, five(rows[1:]) == literal(READ_ROWS), out)
    c.expect(name, all(row[6] == "" for row in rows[1:]), out)
    c.expect(name, "32-bit" in rows[-1][5] and rows[-2][5] == "", f"note of C200: {rows[-1]}")
    c.expect(name, err == "", err)


def check_formats(c, connection):
    code, out, err = c.run(connection + ["read", "D100", "C200", "--format", "json"])
    c.expect_exit("json", code, 0, err)
    try:
        rows = json.loads(out)
    except ValueError:
        rows = []
    c.expect("json", [list(r) for r in rows] == [["device", "table", "address", "value", "hex",
                                                   "note", "error"]] * 3, out)
    c.expect("json", [(r.get("device"), r.get("value"), r.get("hex"), r.get("error")) for r in rows]
             == [("D100", 4196, "0x1064", None), ("C200", 0, None, None),
                 ("C200", None, "0x0EC8", None)], out)

    code, out, err = c.run(connection + ["read", "T5"])
    c.expect_exit("table", code, 0, err)
    lines = out.splitlines()
    c.expect("table", len(lines) == 3 and lines[0].split()[:3] == ["device", "table", "address"]
             and lines[1].split()[0] == "T5" and "1541" in lines[2].split(), out)


def check_verbose(c, transport, connection):
    code, _, err = c.run(connection + ["--verbose", "read", "D100"])
    c.expect_exit(f"{transport} verbose", code, 0, err)
    sent = [line for line in err.splitlines() if line.startswith("> ")]
    received = [line for line in err.splitlines() if line.startswith("< ")]
    c.expect(f"{transport} verbose", len(sent) == 1 and len(received) == 1 and
             all(part in err for part in VERBOSE[transport]), err)


def check_write(c, transport, connection):
    name = f"{transport} write"
    code, _, err = c.run(connection + ["write"] + WRITE)
    if not c.expect_exit(name, code, 0, err):
        return
    code, out, err = c.run(connection + ["--format", "csv", "read", "D100-D102", "Y0", "M5"])
    c.expect_exit(name, code, 0, err)
    c.expect(name, five(csv_rows(out)[1:]) == literal(WRITTEN_ROWS), out)
    # Function 02 reads the coils' own bits: the write shows there too.
    code, out, err = c.run(connection + ["--format", "csv", "--table", "di", "read", "Y0"])
    c.expect(name, code == 0 and five(csv_rows(out)[1:]) ==
             [["Y0", "discrete input", "0500", "1", ""]], f"{code} {out} {err}")


def check_exception(c, transport, connection):
    name = f"{transport} exception"
    code, out, err = c.run(connection + ["--format", "csv", "read", "D100", "D9000"])
    c.expect_exit(name, code, 1, err)
    c.expect(name, csv_rows(out)[1:] == [
        ["D100", "holding register", "1064", "4196", "0x1064", "", ""],
        ["D9000", "holding register", "A328", "", "", "",
         "the controller answered exception 02 (illegal data address)"]], out)
    c.expect(name, err.splitlines() == [
        "zentriq-poll: D9000: the controller answered exception 02 (illegal data address)"], err)


def check_typed(c, transport, connection):
    """32-bit values by name, low word first: the simulator's seeded ones read, new ones written
    and read back as written, and a write whose items overlap refused before anything is sent."""
    name = f"{transport} typed"
    code, out, err = c.run(connection + ["--format", "csv", "read", "D200:f32", "D202:i32",
                                         "D202:u32", "D200-D203:i32"])
    c.expect_exit(name, code, 0, err)
    c.expect(name, five(csv_rows(out)[1:]) == [
        ["D200:f32", "holding register", "10C8", "0.1", "0x3DCCCCCD"],
        ["D202:i32", "holding register", "10CA", "-100000", "0xFFFE7960"],
        ["D202:u32", "holding register", "10CA", "4294867296", "0xFFFE7960"],
        ["D200:i32", "holding register", "10C8", "1036831949", "0x3DCCCCCD"],
        ["D202:i32", "holding register", "10CA", "-100000", "0xFFFE7960"]], out)
    code, out, err = c.run(connection + ["--format", "csv", "write", "D210:f32=21.5",
                                         "D212:i32=-7", "D214:f32=-0.3"])
    c.expect_exit(name, code, 0, err)
    # device, table, address, the value written, the value read back
    c.expect(name, [row[:5] for row in csv_rows(out)[1:]] == [
        ["D210:f32", "holding register", "10D2", "21.5", "21.5"],
        ["D212:i32", "holding register", "10D4", "-7", "-7"],
        ["D214:f32", "holding register", "10D6", "-0.3", "-0.3"]], out)
    code, out, err = c.run(connection + ["--format", "csv", "read", "D210-D211"])
    c.expect(name, code == 0 and [row[4] for row in csv_rows(out)[1:]] == ["0x0000", "0x41AC"],
             f"the low word first at D210: {out} {err}")
    code, _, err = c.run(connection + ["write", "D220:f32=1", "D221=5"])
    c.expect(name, code == 2 and "D221 is written twice" in err, f"{code} {err}")


def check_plan(c):
    """--plan shows the requests and their time on a port it never opens. At 9600 8E1 a character
    takes 11/9600 s: M0 takes 30 characters, D120 32 and D100-D109 68, and 10 ms each."""
    code, out, err = c.run(["--port", "COM9", "--line", "8E1", "read", "D120", "D100-D109", "M0",
                            "--plan"])
    c.expect_exit("plan", code, 0, err)
    c.expect("plan", out == "01 0800 +1   M0\n"
                           "03 1064 +10  D100-D109\n"
                           "03 1078 +1   D120\n"
                           "predicted 179 ms a scan of 3 requests at 9600 8E1 ascii, reply delay "
                           "10 ms\n", out)


def check_batch(c, connection):
    """A tag list in as exported (a byte-order mark, semicolons, a quoted name, a type column, a
    blank and a bad row), its rows back with live values; a watch writes one block per scan."""
    name = "batch"
    tags = (b'\xef\xbb\xbfTag;Device;Type\r\nLevel;D100;\r\nTemp;D200;f32\r\n;;\r\n'
            b'"Timer; 5";T5;\r\nBad;Q9;\r\n')
    code, out, err = c.run(connection + ["read", "--batch", "-", "--header", "--column",
                                         "device", "--type-column", "Type"], stdin=tags)
    c.expect_exit(name, code, 1, err)
    c.expect(name, out.splitlines() == [
        "\ufeffTag;Device;Type;value;error", "Level;D100;;4196;", "Temp;D200;f32;0.1;", ";;",
        '"Timer; 5";T5;;1;', '"Timer; 5";T5;;1541;',
        "Bad;Q9;;;Q9 is not a device: the device letters are S, X, Y, T, M, C and D"], out)
    c.expect(name, "line 6: Q9 is not a device" in err, err)
    code, out, err = c.run(connection + ["watch", "--count", "2", "--interval", "0.1", "--batch",
                                         "-", "--header", "--column", "2"], stdin=tags)
    c.expect(name, out.count("Level;D100;;4196;") == 2 and out.count("\ufeff") == 1,
             f"{code} {out} {err}")
    code, _, err = c.run(connection + ["read", "--batch", "-", "--header", "--column", "Nom"],
                         stdin=tags)
    c.expect(name, code == 2 and 'no column named "Nom" in the header (Tag, Device, Type)' in err,
             f"{code} {err}")


def check_line_report(c, connection):
    """A watch as InfluxDB line protocol, and the line's counters with --stats."""
    name = "influx"
    code, out, err = c.run(connection + ["--format", "influx", "--stats", "watch", "--count", "2",
                                         "--interval", "0.1", "D100", "D200:f32", "D9000"])
    c.expect_exit(name, code, 1, err)
    lines = out.splitlines()
    stamps = {line.rsplit(" ", 1)[-1] for line in lines}
    c.expect(name, len(lines) == 6 and len(stamps) == 2 and
             all(stamp.isdigit() and len(stamp) == 19 for stamp in stamps), out)
    c.expect(name, [line.rsplit(" ", 1)[0] for line in lines[:3]] == [
        "dvp,device=D100,table=holding\\ register,station=1 value=4196i",
        "dvp,device=D200:f32,table=holding\\ register,station=1 value=0.1",
        "dvp,device=D9000,table=holding\\ register,station=1 error=\"the controller answered "
        "exception 02 (illegal data address)\""], out)
    stats = [line for line in err.splitlines() if "requests" in line]
    c.expect("stats", len(stats) == 1 and stats[0].startswith("zentriq-poll: requests 4, retries 0")
             and "exceptions 02:2" in stats[0] and "scans/s" in stats[0], err)


def check_measured_plan(c, connection):
    """On a serial line --stats measures the controller's reply delay and prices the plan at it."""
    code, _, err = c.run(connection + ["--stats", "read", "D100", "D110", "M0"])
    c.expect("measured plan", code == 0 and
             "0 ms reply delay measured the plan would be 3 requests" in err, err)


def check_watch_count(c, connection):
    code, out, err = c.run(connection + ["--format", "csv", "watch", "D100", "T5", "--interval",
                                         "0.1", "--count", "3"])
    c.expect_exit("watch csv", code, 0, err)
    rows = csv_rows(out)
    c.expect("watch csv", rows[:1] == [["time", "scan"] + COLUMNS], f"header {rows[:1]}")
    body = rows[1:]
    c.expect("watch csv", [(r[1], r[2], r[3], r[5]) for r in body] == [
        ("1", "D100", "holding register", "4196"), ("1", "T5", "coil", "1"),
        ("1", "T5", "holding register", "1541"),
        ("2", "D100", "holding register", "4196"), ("2", "T5", "coil", "1"),
        ("2", "T5", "holding register", "1541"),
        ("3", "D100", "holding register", "4196"), ("3", "T5", "coil", "1"),
        ("3", "T5", "holding register", "1541")], out)
    c.expect("watch csv", all(ISO_TIME.fullmatch(r[0][:23]) for r in body), out)

    code, out, err = c.run(connection + ["--format", "json", "watch", "D100", "--interval", "0.1",
                                         "--count", "2"])
    c.expect_exit("watch json", code, 0, err)
    try:
        objects = [json.loads(line) for line in out.splitlines()]
    except ValueError:
        objects = []
    c.expect("watch json", [(o.get("scan"), o.get("device"), o.get("value")) for o in objects] ==
             [(1, "D100", 4196), (2, "D100", 4196)] and
             all(ISO_TIME.match(str(o.get("time"))) for o in objects), out)


def check_watch_terminal(c, connection):
    """On a terminal one table is drawn over the last, a value that changed marked with '*'."""
    controller, terminal = pty.openpty()
    watch = subprocess.Popen(c.command + connection + ["watch", "D3001", "--interval", "0.4",
                                                       "--count", "3"],
                             stdin=subprocess.DEVNULL, stdout=terminal, stderr=subprocess.PIPE)
    os.close(terminal)
    output = b""
    deadline = time.monotonic() + 20
    written = False
    while time.monotonic() < deadline and select.select([controller], [], [], 1)[0]:
        try:
            output += os.read(controller, 4096)
        except OSError:  # the program ended and the terminal closed
            break
        if not written and b"D3001" in output:
            # After the first scan: the next one finds a new value.
            c.run(connection + ["write", "D3001=7"])
            written = True
    os.close(controller)
    try:
        code = watch.wait(timeout=10)
    except subprocess.TimeoutExpired:
        watch.kill()
        code = None
    text = output.decode("utf-8", "replace")
    c.expect_exit("watch on a terminal", code, 0, watch.stderr.read().decode())
    c.expect("watch on a terminal", text.count("D3001") == 3 and
             len(re.findall(r"\x1b\[\d+F", text)) == 2 and
             re.search(r"\*\s+D3001\s+holding register\s+1BB9\s+7\s", text) is not None and
             "last good scan" in text, repr(text[-600:]))


# ---- the tool through the relay ----

def fault_command(row):
    """The arguments after the connection for a row, and how many devices' rows it prints."""
    args = FAST + ([] if row.retries is None else ["--retries", str(row.retries)])
    args += ["--format", "csv"]
    if row.run == "read":
        return args + ["read", "D100", "M0-M15"], 17
    if row.run == "same":
        return args + ["read", "D100", "D3000"], 2
    if row.run == "watch":
        return args + ["watch", "D100", "D3000", "--count", "2", "--interval", "0.1"], 4
    return args + ["write"] + FAULT_WRITE, 3


def check_faults(c, lab, transport, target):
    """`target`: the simulator's free pty end (serial) or its port (over TCP)."""
    if transport in SERIAL:
        tool_end, relay_end = lab.pty_pair("relay-" + transport)
        place = ["--serial", relay_end, target, "--framer", transport]
    else:
        place = ["--tcp", "0", "--to", target] + (
            [] if transport == "tcp" else ["--framer", framing(transport)])

    def connect(where):
        """The tool's connection through the relay, which says `where` it listens."""
        return on_pty(tool_end, transport) if transport in SERIAL else on_host(where, transport)

    for number, row in enumerate(FAULT_ROWS):
        if transport not in row.transports:
            continue
        name = row.name(transport)
        relay = f"relay-{transport}-{number}"
        where = lab.relay(*place, "--fault", row.fault, "--delay", str(row.delay), "--times",
                          str(row.times), "--after", str(row.after), name=relay)
        args, devices = fault_command(row)
        code, out, err = c.run(connect(where) + args)
        lab.stop_named(relay)
        statuses = row.status if isinstance(row.status, tuple) else (row.status,)
        c.expect_exit(name, code if code not in statuses else statuses[0], statuses[0], err)
        rows = [r[2:] if row.run == "watch" else r for r in csv_rows(out)[1:]]
        wrong = [r for r in rows if r[3] and TRUE_VALUES.get((r[0], r[1])) != r[3]]
        c.expect(name, not wrong, f"wrong values shown: {wrong}")
        c.expect(name, len(rows) == devices, f"rows lost: {out}")
        c.expect(name, all(bool(r[3]) != bool(r[6]) for r in rows), f"value or error: {out}")
        # The hint stands where a request was silent, and is then that the controller is slow.
        silent = "no answer within" in err
        hint = LATE_HINTS.get((row.delay, row.run)) if silent else None
        c.expect(name, all(f in err for f in row.fragments + ([hint] if hint else [])), err)
        if row.run == "watch":
            c.expect(name, [r[0] for r in rows[2:]] == ["D100", "D3000"] and
                     all(r[3] for r in rows[2:]), f"the second scan read nothing: {out}")
    check_silent_line(c, lab, transport, place, connect)


def check_silent_line(c, lab, transport, place, connect):
    """A line that drops every reply: the tries of one request, then every device not read."""
    relay = f"relay-{transport}-silent"
    connection = connect(lab.relay(*place, "--fault", "drop", "--times", "0", name=relay))
    items = [f"D{number}" for number in range(0, 6000, 300)]  # 20 devices, 20 requests
    code, out, err = c.run(connection + FAST + ["--format", "csv", "read"] + items)
    lab.stop_named(relay)
    name = f"{transport} silent line"
    c.expect_exit(name, code, 1, err)
    rows = csv_rows(out)[1:]
    c.expect(name, [r[0] for r in rows] == items and all(r[6] and not r[3] for r in rows) and
             all(r[6] == "not read: the controller did not answer D0" for r in rows[1:]), out)
    sent = lab.log(relay).count("relay: reply")
    c.expect(name, sent == 3, f"{sent} requests answered by the simulator, not 3 (one request's "
             "tries)")
    c.expect(name, err.count("\n") == 3 and "D300, D600, D900 and 16 more requests: not read"
             in err and SILENT_HINTS[transport] in err, err)


# ---- connections that fail, and watch across a port that goes away ----

def check_connection_errors(c, lab, tool_end):
    connection = on_pty(lab.path("nope"), "ascii")
    nope = connection[1]
    # Under Wine, a COM port linked to nothing: the system's own words for it differ.
    missing = "File not found" if PORTS.prefix else "No such file or directory"
    code, out, err = c.run(connection + ["read", "D1"])
    c.expect_exit("missing port", code, 2, err)
    c.expect("missing port", out == "" and err == f"zentriq-poll: cannot open {nope}: {missing}\n",
             err)

    with socket.socket() as s:  # a port nothing listens on
        s.bind(("127.0.0.1", 0))
        closed = s.getsockname()[1]
    code, out, err = c.run(["--host", f"127.0.0.1:{closed}", "read", "D1"])
    c.expect_exit("refused", code, 2, err)
    c.expect("refused", err == f"zentriq-poll: cannot connect to 127.0.0.1:{closed}: Connection "
             "refused\n", err)

    # --mode goes with --port or --host; the serial line's own settings only with --port.
    for args, said in ((["--host", "127.0.0.1", "--mode", "rtu", "--baud", "19200"],
                        "--baud requires --port"),
                       (["--host", "127.0.0.1", "--line", "8N1"], "--line requires --port"),
                       (["--mode", "rtu"], "say where the controller is")):
        name = " ".join(args)
        code, out, err = c.run(args + ["read", "D1"])
        c.expect_exit(name, code, 2, err)
        c.expect(name, out == "" and said in err, err)

    # A pty has no parity and always 8 data bits: 7E1 is refused, and said so.
    code, out, err = c.run(on_pty(tool_end, "ascii", "7E1") + ["read", "D1"])
    c.expect_exit("7E1 on a pty", code, 2, err)
    c.expect("7E1 on a pty", out == "" and err.count("\n") == 1 and
             "refused 7 data bits and even parity" in err, err)

    # A baud rate the port refuses is named as the baud rate.
    code, out, err = c.run(on_pty(tool_end, "ascii") + ["--baud", "9601", "read", "D1"])
    c.expect_exit("9601 baud on a pty", code, 2, err)
    c.expect("9601 baud on a pty", out == "" and err.count("\n") == 1 and
             "refused 9601 baud: the port is at " in err and "cannot do 9601 baud;" in err, err)

    # A pty has neither the kernel's RS-485 mode nor an RTS line: --rs485 cannot drive it. (Wine
    # raises RTS on its COM port as asked, through a pty or not.)
    if not PORTS.prefix:
        code, out, err = c.run(on_pty(tool_end, "ascii") + ["--rs485", "read", "D1"])
        c.expect_exit("--rs485 on a pty", code, 2, err)
        c.expect("--rs485 on a pty", out == "" and err.count("\n") == 1 and
                 "has neither the kernel's RS-485 mode nor an RTS line" in err, err)
    code, out, err = c.run(["--host", "127.0.0.1", "--rs485", "read", "D1"])
    c.expect_exit("--rs485 with --host", code, 2, err)
    c.expect("--rs485 with --host", "--rs485 requires --port" in err, err)

    code, out, err = c.run(on_pty("/dev/null", "ascii") + ["read", "D1"])
    c.expect_exit("no serial port", code, 2, err)
    c.expect("no serial port", err.endswith(": it is not a serial port\n"), err)

    # A number that can be meant more than one way is never written, whatever one reading names.
    code, out, err = c.run(on_pty(tool_end, "ascii") + ["write", "40001=1"])
    c.expect_exit("bare number written", code, 2, err)
    c.expect("bare number written", "40001=1: 40001 is a bare number (read as the decimal address "
             "40001 = 0x9C41; as the reference 4x0001, it names no device)" in err, err)

    code, out, err = c.run(on_pty(tool_end, "ascii") + ["read", "D1", "--count", "2"])
    c.expect_exit("--count with read", code, 2, err)
    c.expect("--count with read", err.startswith("zentriq-poll: --count is for watch"), err)


class Lines:
    """The csv rows a running program writes, read as they come."""

    def __init__(self, process):
        self.process = process
        self.output = b""
        self.unread = []  # complete lines not looked at yet
        self.partial = b""

    def until(self, want, timeout):
        """The first new row that satisfies `want`, or None when none came within `timeout` s."""
        deadline = time.monotonic() + timeout
        while True:
            while self.unread:
                row = next(csv.reader([self.unread.pop(0).decode("utf-8", "replace")]), [])
                if want(row):
                    return row
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                return None
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.output += chunk
            *complete, self.partial = (self.partial + chunk).split(b"\n")
            self.unread += complete

    def finish(self, timeout=10):
        """Ctrl-C, as a terminal sends it to its foreground group; returns the exit status and
        everything the program wrote."""
        os.killpg(self.process.pid, signal.SIGINT)
        try:
            rest, _ = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            rest, _ = self.process.communicate(timeout=timeout)
            return "still running after Ctrl-C", self.output + rest
        return self.process.returncode, self.output + rest


def watch(c, connection, *items):
    return subprocess.Popen(c.command + connection + FAST + ["--format", "csv", "watch", *items,
                                                             "--interval", "0.2"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL, start_new_session=True)


def good(row):
    return len(row) == 9 and row[2] == "D100" and row[5] == "4196"


def failed(row):
    return len(row) == 9 and row[2] == "D100" and row[5] == "" and row[8] != ""


def check_watch_recovery(c, lab, connection):
    name = "watch recovery"
    process = watch(c, connection, "D100")
    lines = Lines(process)
    try:
        first = lines.until(good, 10)
        c.expect(name, first is not None, "no value before the port went away")
        lab.stop_pair("ascii")
        gone = lines.until(failed, 10)
        c.expect(name, gone is not None, "no error while the port was away")
        lab.pty_pair("ascii")
        back = lines.until(good, 15)
        c.expect(name, back is not None and gone is not None and int(back[1]) > int(gone[1]),
                 "no value again once the port was back")
    finally:
        code, output = lines.finish()
    c.expect_exit(f"{name}, Ctrl-C", code, 0, "")
    rows = csv_rows(output.decode("utf-8", "replace"))
    c.expect(f"{name}, Ctrl-C", output.endswith(b"\n") and all(len(r) == 9 for r in rows) and
             [r[:2] for r in rows].count(["time", "scan"]) == 1, f"rows cut: {output[-300:]}")


def check_silent_controller(c, lab):
    """A port with nothing behind it: each try waits out the timeout."""
    tool_end, _ = lab.pty_pair("silent")
    connection = on_pty(tool_end, "ascii")
    code, out, err = c.run(connection + FAST + ["read", "D100"])
    c.expect_exit("silent controller", code, 1, err)
    c.expect("silent controller", err.startswith(f"zentriq-poll: D100: {NO_ANSWER}\n") and
             err.count("\n") == 2 and "did not answer at all: check that --mode ascii" in err, err)

    # A request across two letters is named by each letter's devices.
    code, out, err = c.run(connection + FAST + ["read", "M1535", "C0-C2"])
    c.expect("request across letters", err.startswith(f"zentriq-poll: M1535, C0-C2: {NO_ANSWER}\n"),
             err)

    lines = Lines(watch(c, connection, "D100"))
    row = lines.until(failed, 10)
    code, _ = lines.finish()
    c.expect("Ctrl-C after a failed scan", row is not None and code == 1,
             f"exit status {code}, row {row}")


def check_stops(c, lab, connection):
    """What every program of the project does alike at its end: a reader that goes away ends a
    watch quietly; SIGTERM ends it as Ctrl-C does, its last scan whole; Ctrl-C during a read ends
    it as an interrupted program, once what it has is written."""
    process = watch(c, connection, "D100")
    first = process.stdout.readline()
    process.stdout.close()  # the reader goes away, as | head does
    try:
        code = process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        code = "still running with no reader"
    c.expect_exit("watch, reader gone", code, 0, "")
    c.expect("watch, reader gone", first.startswith(b"time,scan,"), first)

    if len(c.command) > 1:
        return  # SIGTERM and an end by signal are POSIX's; a Windows program under Wine has neither
    lines = Lines(watch(c, connection, "D100"))
    row = lines.until(good, 10)
    os.killpg(lines.process.pid, signal.SIGTERM)
    rest, _ = lines.process.communicate(timeout=10)
    output = lines.output + rest
    c.expect_exit("watch, SIGTERM", lines.process.returncode, 0, "")
    c.expect("watch, SIGTERM", row is not None and output.endswith(b"\n"), output[-200:])

    tool_end, _ = lab.pty_pair("silent")
    process = subprocess.Popen(c.command + on_pty(tool_end, "ascii") + ["read", "D100"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL, start_new_session=True)
    time.sleep(0.5)
    os.killpg(process.pid, signal.SIGINT)
    out, err = process.communicate(timeout=10)
    c.expect("read, Ctrl-C", process.returncode == -signal.SIGINT and b"D100" in out and
             b"interrupted" in err, f"exit status {process.returncode}: {out!r} {err!r}")


def check_segmented_replies(c, lab, targets):
    """Through a serial device server whose network brings a reply in pieces of 1 to 7 bytes up to
    300 ms apart, every value is right: a frame ends at its length, never at a gap; and a reply
    whose pieces outlast the timeout is cut short, never taken for a whole one."""
    for transport in OVER_TCP:
        relay = "relay-segments-" + transport
        where = lab.relay("--tcp", "0", "--to", targets[transport], "--framer",
                          framing(transport), "--fault", "segment", "--delay", "300", "--times",
                          "0", name=relay)
        name = f"{transport}: replies in pieces up to 300 ms apart"
        code, out, err = c.run(on_host(where, transport) + [
            "--timeout", "10000", "--format", "csv", "read", "D100", "M0-M15", "D3000"])
        rows = csv_rows(out)[1:]
        wrong = [r for r in rows if TRUE_VALUES.get((r[0], r[1])) != r[3]]
        c.expect(name, code == 0 and len(rows) == 18 and not wrong, f"{code} {wrong} {err}")
        name = f"{transport}: pieces that outlast the timeout"
        code, out, err = c.run(on_host(where, transport) + [
            "--timeout", "100", "--retries", "0", "--format", "csv", "read", "D100-D109"])
        lab.stop_named(relay)
        c.expect(name, code == 1 and "cut short" in err and
                 all(not r[3] for r in csv_rows(out)[1:]), f"{code} {out} {err}")


def check_rtu_silence(c, lab, target):
    """Between a reply's last byte and the next request's first the tool keeps the line silent for
    3.5 characters (at 9600 8N1, 3.65 ms), every time, and --pause for longer."""
    for pause, least in ((None, 3.5 * 10 / 9600), ("20", 0.020)):
        tool_end, relay_end = lab.pty_pair("gaps")
        gaps_file = lab.path(f"gaps-{pause}.txt")
        lab.relay("--serial", relay_end, target, "--framer", "rtu", "--fault", "none", "--gaps",
                  gaps_file, name="relay-gaps")
        command = on_pty(tool_end, "rtu") + (["--pause", pause] if pause else [])
        code, _, err = c.run(command + ["watch", "D100", "M0-M3", "X0", "T5", "--count", "30",
                                        "--interval", "0", "--format", "csv"])
        lab.stop_named("relay-gaps")
        lab.stop_pair("gaps")
        with open(gaps_file) as f:
            gaps = sorted(float(line) for line in f)
        name = f"the silence before each RTU request{' with --pause ' + pause if pause else ''}"
        c.expect(name, code == 0 and len(gaps) >= 100 and gaps[0] >= least,
                 f"exit {code}, {len(gaps)} gaps, the shortest {gaps[0] * 1000 if gaps else 0:.2f}"
                 f" ms, the median {gaps[len(gaps) // 2] * 1000 if gaps else 0:.2f} ms: {err}")


def main():
    global PORTS
    parser = argparse.ArgumentParser()
    parser.add_argument("command", nargs="+", help="[WRAPPER...] PROGRAM")
    args = parser.parse_args()
    c = Checker(args.command[:-1] + [os.path.abspath(args.command[-1])])
    stop_on_signals()
    try:
        with Lab() as lab, WinePorts(c.command) as ports:
            PORTS = ports
            connections, targets = {}, {}
            for transport in SERIAL:
                tool_end, simulator_end = lab.pty_pair(transport)
                lab.simulator("--serial", simulator_end, "--framer", transport, "--missing",
                              "D4096-D9999", name="simulator-" + transport)
                check_simulator(transport, tool_end)
                connections[transport] = on_pty(tool_end, transport)
                targets[transport] = tool_end
            for transport in ("tcp",) + OVER_TCP:
                framer = [] if transport == "tcp" else ["--framer", framing(transport)]
                port = lab.simulator("--tcp", "0", *framer, "--missing", "D4096-D9999",
                                     name="simulator-" + transport)
                check_simulator(transport, port)
                connections[transport] = on_host(port, transport)
                targets[transport] = port

            for transport in ALL:
                check_read(c, transport, connections[transport])
                check_verbose(c, transport, connections[transport])
                check_exception(c, transport, connections[transport])
                check_faults(c, lab, transport, targets[transport])
            check_formats(c, connections["tcp"])
            check_plan(c)
            check_batch(c, connections["tcp"])
            check_line_report(c, connections["tcp"])
            check_measured_plan(c, connections["ascii"])
            check_watch_count(c, connections["tcp"])
            check_watch_terminal(c, connections["tcp"])
            check_connection_errors(c, lab, targets["ascii"])
            check_rtu_silence(c, lab, targets["rtu"])
            check_segmented_replies(c, lab, targets)
            check_silent_controller(c, lab)
            check_stops(c, lab, connections["tcp"])
            check_watch_recovery(c, lab, connections["ascii"])
            for transport in ALL:  # last: the other checks read the initial values
                check_write(c, transport, connections[transport])
                check_typed(c, transport, connections[transport])
    except HarnessError as error:
        print(f"check_poll: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as reason:
        print(f"check_poll: interrupted ({reason})", file=sys.stderr)
        return 1
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "zentriq-poll: every check passed")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
