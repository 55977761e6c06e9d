"""What zentriq-poll's end-to-end checks share: the controller's values as the simulator holds
them, the rows a read gives, the connection options of each transport, and the checker that runs
the program and keeps every failed check."""

import csv
import io
import re
import subprocess


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


