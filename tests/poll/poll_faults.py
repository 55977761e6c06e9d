"""zentriq-poll on a faulty line: replies spoiled by the relay, a silent controller, a line that
cannot be opened or goes away, replies in pieces, and the silence RTU keeps between frames."""

import csv
import os
import select
import signal
import socket
import subprocess
import time

import poll_common
from poll_common import (ALL, CHECKSUMMED, FAST, NO_ANSWER, OVER_TCP, SERIAL, TRUE_VALUES, UNSOUND,
                         csv_rows, framing, on_host, on_pty)


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
    missing = "File not found" if poll_common.PORTS.prefix else "No such file or directory"
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

    # The options' combinations are checked in-process (console_tests); here only that the program
    # says a usage error of theirs and stops.
    code, out, err = c.run(["--mode", "rtu", "read", "D1"])
    c.expect_exit("--mode alone", code, 2, err)
    c.expect("--mode alone", out == "" and "say where the controller is" in err, err)

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
    if not poll_common.PORTS.prefix:
        code, out, err = c.run(on_pty(tool_end, "ascii") + ["--rs485", "read", "D1"])
        c.expect_exit("--rs485 on a pty", code, 2, err)
        c.expect("--rs485 on a pty", out == "" and err.count("\n") == 1 and
                 "has neither the kernel's RS-485 mode nor an RTS line" in err, err)

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


