"""zentriq-poll on a sound line: reads in every format, writes read back, typed values, the plan,
tag lists, the line report and watches."""

import json
import os
import pty
import re
import select
import subprocess
import time

from harness import (HarnessError, ascii_frame, exchange_serial, exchange_stream, exchange_tcp,
                     rtu_frame)
from relay import crc16, lrc

from poll_common import (COLUMNS, ISO_TIME, OVER_TCP, READ_ITEMS, READ_ROWS, VERBOSE, WRITE,
                         WRITTEN_ROWS, csv_rows, five, framing, literal)


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

