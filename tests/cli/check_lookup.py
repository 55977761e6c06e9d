#!/usr/bin/python3
"""End-to-end checks of zentriq-lookup: runs the built program as a user would and checks what it
writes and how it exits. The same checks run against any build of it, the Windows one under Wine
included:

    check_lookup.py [WRAPPER...] PROGRAM

where WRAPPER is the command that runs PROGRAM (such as Wine with its arguments).

Every failed check is listed, then the script exits 1."""

import argparse
import csv
import io
import json
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import threading

COLUMNS = ["input", "device", "table", "address", "decimal", "reference", "width", "read", "write",
           "error"]

# The worked examples of the controller maker's table: item -> (device, table, address, reference,
# width) for each entry, in order.
WORKED = {
    "D100": [("D100", "holding register", "1064", "404197", "word")],
    "M1536": [("M1536", "coil", "B000", "045057", "bit")],
    "X17": [("X17", "discrete input", "040F", "101040", "bit")],
    "Y20": [("Y20", "coil", "0510", "001297", "bit")],
    "T5": [("T5", "coil", "0605", "001542", "bit"), ("T5", "holding register", "0605", "401542", "word")],
    "C200": [("C200", "coil", "0EC8", "003785", "bit"),
             ("C200", "holding register", "0EC8", "403785", "double word")],
    "D4096": [("D4096", "holding register", "9000", "436865", "word")],
    "D9999": [("D9999", "holding register", "A70F", "442768", "word")],
    "S1023": [("S1023", "coil", "03FF", "001024", "bit")],
    "0x1064": [("D100", "holding register", "1064", "404197", "word")],
    "404197": [("D100", "holding register", "1064", "404197", "word")],
    "001542": [("T5", "coil", "0605", "001542", "bit")],
    "101040": [("X17", "discrete input", "040F", "101040", "bit")],
}
NO_ADDRESS = ["S1024", "X8", "X400", "T256", "M4096", "C256", "D10000"]
CODES = {"coil": ([1, 2], [5, 15]), "discrete input": ([2], []), "holding register": ([3], [6, 16])}


class Checker:
    def __init__(self, command):
        self.command = command
        self.faults = []

    def run(self, args, stdin=b"", cwd=None):
        done = subprocess.run(self.command + args, input=stdin, capture_output=True, cwd=cwd,
                              timeout=120)
        return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}")

    def expect_exit(self, name, got, want, stderr):
        self.expect(name, got == want, f"exit status {got}, expected {want}; stderr: {stderr[:300]}")


def expected_rows(item):
    for device, table, address, reference, width in WORKED[item]:
        read, write = CODES[table]
        yield {"input": item, "device": device, "table": table, "address": address,
               "decimal": int(address, 16), "reference": reference, "width": width, "read": read,
               "write": write, "error": None}


def check_formats(c):
    items = list(WORKED) + NO_ADDRESS
    want = [row for item in WORKED for row in expected_rows(item)]

    code, out, err = c.run(["--format", "json"] + items)
    c.expect_exit("json", code, 1, err)
    rows = json.loads(out)
    c.expect("json", [r for r in rows if r["error"] is None] == want, f"answered rows differ: {rows}")
    errors = [r for r in rows if r["error"] is not None]
    c.expect("json", [r["input"] for r in errors] == NO_ADDRESS and
             all(r["device"] is None for r in errors), f"error rows: {errors}")
    c.expect("json", all(list(r) == COLUMNS for r in rows), "keys out of order")
    c.expect("stderr", err.count("\n") == len(NO_ADDRESS) and
             all(f"{item} " in err for item in NO_ADDRESS), f"one line per unanswered item: {err}")
    c.expect("stderr", "X8 is not an X number: X and Y are numbered in octal (X0-X7, X10-X17, ...)"
             in err, err)

    code, out, err = c.run(["--format", "csv"] + items)
    c.expect_exit("csv", code, 1, err)
    rows = list(csv.reader(io.StringIO(out.decode())))
    c.expect("csv", rows[0] == COLUMNS, f"header {rows[0]}")
    as_text = [[str(v) if not isinstance(v, list) else "[" + ",".join(map(str, v)) + "]"
                for v in row.values()][:-1] + [""] for row in want]
    c.expect("csv", rows[1:len(want) + 1] == as_text, f"rows differ: {rows}")
    c.expect("csv", all(r[1] == "" and r[-1] for r in rows[len(want) + 1:]), "error rows")

    code, out, err = c.run(list(WORKED))
    c.expect_exit("table", code, 0, err)
    cells = [re.split(r"  +", line) for line in out.decode().splitlines()]
    c.expect("table", cells[0] == COLUMNS and [row[:7] for row in cells[1:]] ==
             [[r["input"], r["device"], r["table"], r["address"], str(r["decimal"]), r["reference"],
               r["width"]] for r in want], out.decode())

    code, out, err = c.run(["T5", "d100"])
    c.expect_exit("table", code, 0, err)
    c.expect("table", out.decode().splitlines() == [
        "input  device  table             address  decimal  reference  width  read   write   error",
        "T5     T5      coil              0605     1541     001542     bit    [1,2]  [5,15]",
        "T5     T5      holding register  0605     1541     401542     word   [3]    [6,16]",
        "d100   D100    holding register  1064     4196     404197     word   [3]    [6,16]",
    ], out.decode())


def check_batch(c, workdir):
    tags = (b'Tag,Device,Note\r\nPump,D100,ok\r\n"Lamp, red",Y20,"say ""on"""\r\n'
            b'"two\nlines",T5,x\r\nbad,X18,\r\nshort\r\n')
    code, out, err = c.run(["--batch", "-", "--column", "2", "--header"], tags)
    c.expect_exit("batch", code, 1, err)
    rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
    c.expect("batch", rows[0] == ["Tag", "Device", "Note"] + COLUMNS[1:], f"header {rows[0]}")
    c.expect("batch", [r[:4] for r in rows[1:]] == [
        ["Pump", "D100", "ok", "D100"], ["Lamp, red", "Y20", 'say "on"', "Y20"],
        ["two\nlines", "T5", "x", "T5"], ["two\nlines", "T5", "x", "T5"], ["bad", "X18", "", ""],
        ["short", "", "", "", "", "", "", "", "", ""][:4]], f"rows {rows}")
    c.expect("batch", rows[5][-1].startswith("X18 is not an X number") and
             rows[6][-1] == "this row has no column 2", f"error column {rows[5:]}")
    c.expect("batch", "line 6: X18" in err and "line 7: this row has no column 2" in err, err)

    # A file by name, and the rows that no item can spoil: binary bytes, NUL, invalid UTF-8, a
    # long line, a quote never closed. Every row comes out, in order.
    long_item = b"D" * 5_000_000
    nasty = [b"\x00\x01\xff", b"\xc3\x28", long_item, b"D1", b'"D2']
    with open(os.path.join(workdir, "tags.csv"), "wb") as f:
        f.write(b"\n".join(nasty))
    code, out, err = c.run(["--batch", "tags.csv"], cwd=workdir)
    c.expect_exit("bad input", code, 1, err)
    lines = out.split(b"\n")
    c.expect("bad input", len(lines) == 6 and lines[-1] == b"", f"{len(lines)} lines")
    c.expect("bad input", [line.split(b",")[0][:8] for line in lines[:5]] ==
             [b"\x00\x01\xff", b"\xc3\x28", b"D" * 8, b"D1", b'"D2'], "rows out of order")
    c.expect("bad input", lines[3].split(b",")[1] == b"D1", lines[3][:80])
    c.expect("bad input", err.count("\n") == 4 and "line 5: a quote opened" in err, err[:500])

    code, out, err = c.run(["--batch"], b"")
    c.expect("empty list", code == 0 and out == b"" and err == "", f"{code} {out} {err}")
    code, out, err = c.run(["--batch", "no-such-tags.csv"], cwd=workdir)
    c.expect_exit("unreadable file", code, 2, err)
    c.expect("unreadable file", "no-such-tags.csv" in err, err)


FRAME_COLUMNS = ["input", "mode", "slave", "function", "function_name", "role", "checksum_ok",
                 "checksum_expected", "address", "quantity", "first_device", "last_device", "values",
                 "note", "error"]


def check_bare_numbers(c):
    """A tag list of numbers as monitoring configs write them: each read every way it can be meant,
    refused where the readings disagree, and read one way throughout with --numbers."""
    tags = b"Tag,Address\nLevel,4096\nSpeed,1064\nTimer,41537\nPump,0605\n"
    code, out, err = c.run(["--batch", "-", "--column", "Address", "--header"], tags)
    c.expect_exit("bare numbers", code, 1, err)
    rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
    c.expect("bare numbers", [(r[0], r[2], r[3]) for r in rows[1:]] == [
        ("Level", "D0", "holding register"), ("Speed", "", ""), ("Timer", "", ""),
        ("Pump", "T5", "coil"), ("Pump", "T5", "holding register")], f"rows {rows}")
    c.expect("bare numbers", rows[2][-1].startswith("1064 is ambiguous: as hex") and
             "--numbers" in rows[2][-1], rows[2])
    c.expect("bare numbers", "line 2: 4096: read as the decimal address 4096 = 0x1000; as hex, "
             "0x4096 names no device" in err and "line 4: 41537 is ambiguous" in err, err)

    # A list of five-digit references, said so: read as it always was, without a note.
    code, out, err = c.run(["--batch", "-", "--column", "2", "--header", "--numbers",
                            "reference"], b"Tag,Address\nTimer,41537\nD100,44197\n")
    c.expect_exit("--numbers reference", code, 0, err)
    rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
    c.expect("--numbers reference", [(r[0], r[2], r[3]) for r in rows[1:]] == [
        ("Timer", "T0", "holding register"), ("D100", "D100", "holding register")] and err == "",
        f"{rows} {err}")


def check_typed_items(c):
    """A 32-bit value by name: both registers, the low word first, said so in the width column;
    a type the device cannot hold refused with its reason, the other items answered."""
    code, out, err = c.run(["--format", "csv", "D200:f32", "M0:f32", "T5:bool"])
    c.expect_exit("typed items", code, 1, err)
    rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
    c.expect("typed items", [(r[1], r[3], r[6]) for r in rows[1:] if r[1]] == [
        ("D200", "10C8", "f32, low word"), ("D201", "10C9", "f32, high word"),
        ("T5", "0605", "bool")], f"rows {rows}")
    c.expect("typed items", err == "zentriq-lookup: M0:f32: M0 is a bit; f32 is for registers\n",
             err)


def check_frames(c, workdir):
    # A capture log: a request and its response, a frame with a wrong CRC, a line that is no frame.
    with open(os.path.join(workdir, "capture.log"), "wb") as f:
        f.write(b":01010500000AEF\r\n\r\n:010102CD012E\r\n01 02 05 00 00 10 79 0B\r\n:01G1\r\n")
    code, out, err = c.run(["--frames", "capture.log", "--format", "json"], cwd=workdir)
    c.expect_exit("frames json", code, 1, err)
    rows = json.loads(out)
    c.expect("frames json", all(list(r) == FRAME_COLUMNS for r in rows), "keys out of order")
    c.expect("frames json", [(r["input"], r["role"], r["address"], r["first_device"],
                              r["last_device"], r["checksum_ok"]) for r in rows] == [
        (":01010500000AEF", "request", "0500", "Y0", "Y11", True),
        (":010102CD012E", "response", "0500", "Y0", "Y11", True),
        ("01 02 05 00 00 10 79 0B", "request", "0500", "Y0", "Y17", False),
        (":01G1", None, None, None, None, None)], f"rows {rows}")
    c.expect("frames json", [v["value"] for v in rows[1]["values"]] == [1, 0, 1, 1, 0, 0, 1, 1, 1, 0]
             and rows[1]["values"][9]["device"] == "Y11", rows[1]["values"])
    c.expect("frames json", rows[2]["checksum_expected"] == "79 0A" and
             rows[2]["error"] == "CRC 79 0A expected, frame says 79 0B", rows[2])
    c.expect("frames json", err.splitlines() == [
        "zentriq-lookup: line 4: CRC 79 0A expected, frame says 79 0B",
        "zentriq-lookup: line 5: 'G' at position 4 is not a hex digit"], err)

    # Function 05 reads as request and as its echo; both rows come out.
    code, out, err = c.run(["--frame", "01 05 05 00 FF 00 8C F6", "--format", "csv"])
    c.expect_exit("frames csv", code, 0, err)
    rows = list(csv.reader(io.StringIO(out.decode())))
    c.expect("frames csv", rows == [FRAME_COLUMNS] + [
        ["01 05 05 00 FF 00 8C F6", "rtu", "1", "5", "force single coil", role, "true", "8C F6",
         "0500", "1", "Y0", "Y0", "Y0=1", "", ""] for role in ("request", "response")], f"{rows}")

    # An RTU frame typed without quotes is one frame; an exception answers the code it names.
    code, out, err = c.run(["--frame", "01", "03", "10", "64", "00", "02", "81", "14",
                            "--frame", ":0183027A"])
    c.expect_exit("frames table", code, 0, err)
    c.expect("frames table", [line.split("  ")[0] for line in out.decode().splitlines()] ==
             ["input", "01 03 10 64 00 02 81 14", ":0183027A"], out.decode())
    c.expect("frames table", " D100 " in out.decode().splitlines()[1] and
             out.decode().splitlines()[2].endswith("exception 02 (illegal data address)"),
             out.decode())


def check_names(c, workdir):
    # What Windows once read differently: a file name and items outside its ANSI code page, a file
    # named by an absolute path (its leading / the mark of a Windows option), and lines that end in
    # LF alone on stderr as on stdout.
    with open(os.path.join(workdir, "東京 tags.csv"), "wb") as f:
        f.write(b"D100\nX17\n")
    code, out, err = c.run(["--batch", "東京 tags.csv"], cwd=workdir)
    c.expect_exit("non-ASCII file name", code, 0, err)
    c.expect("non-ASCII file name", [line.split(b",")[:2] for line in out.split(b"\n")] ==
             [[b"D100", b"D100"], [b"X17", b"X17"], [b""]], out)
    outputs = [out]

    log = os.path.join(workdir, "frames.log")
    with open(log, "wb") as f:
        f.write(b":01010500000AEF\n")
    code, out, err = c.run(["--frames", log, "--format", "csv"])
    c.expect_exit("absolute path", code, 0, err)
    c.expect("absolute path", out.startswith(b"input,") and
             b"\n:01010500000AEF,ascii,1,1," in out, out)
    outputs.append(out)

    code, out, err = c.run(["Füllstand", "Д100", "D100"])
    c.expect_exit("non-ASCII items", code, 1, err)
    c.expect("non-ASCII items", [line.split(" is ")[0] for line in err.split("\n")] ==
             ["zentriq-lookup: F\\xC3\\xBCllstand", "zentriq-lookup: \\xD0\\x94100", ""], err)
    c.expect("non-ASCII items", [line.split(b" ")[0] for line in out.split(b"\n")] ==
             [b"input", b"F\\xC3\\xBCllstand", b"\\xD0\\x94100", b"D100", b""], out)
    outputs += [out, err.encode()]
    c.expect("line ends", all(b"\r" not in text and text.endswith(b"\n") for text in outputs),
             outputs)


def check_exports(c, workdir):
    # Lists as spreadsheets and HMI tools write them. Excel's "CSV UTF-8" in a European locale: a
    # byte-order mark, semicolons, CRLF, a comma inside a comment, a short row, a blank row, the
    # column named in the header, a T that gives one row with --table.
    tags = ("\ufeffTag;Device;Comment;Unit\r\nPump;Y0\r\nLevel;D100;a, b;l\r\n\r\n"
            "Timer;T5;;ms\r\n;;;\r\n").encode()
    code, out, err = c.run(["--batch", "--header", "--column", "DEVICE", "--table", "hr"], tags)
    c.expect_exit("export", code, 1, err)
    c.expect("export", out.decode("utf-8", "replace").splitlines() == [
        "\ufeffTag;Device;Comment;Unit;device;table;address;decimal;reference;width;read;write;error",
        "Pump;Y0;;;;;;;;;;;Y0 has no holding register entry: it is a coil (0500, 001281)",
        "Level;D100;a, b;l;D100;holding register;1064;4196;404197;word;[3];[6,16];",
        "",
        "Timer;T5;;ms;T5;holding register;0605;1541;401542;word;[3];[6,16];",
        ";;;"], out)
    c.expect("export", err.splitlines() == [
        "zentriq-lookup: line 2: Y0 has no holding register entry: it is a coil (0500, 001281)"],
        err)

    # Excel's "Unicode text": UTF-16 with its mark, tabs. The answer is UTF-8, marked as such.
    path = os.path.join(workdir, "unicode.txt")
    with open(path, "wb") as f:
        f.write("Tag\tDevice\r\nFüllstand\tD100\r\n".encode("utf-16"))
    code, out, err = c.run(["--batch", path, "--header", "--column", "2", "--format", "csv"])
    c.expect_exit("UTF-16", code, 0, err)
    c.expect("UTF-16", out.decode("utf-8", "replace").splitlines() == [
        "\ufeffTag\tDevice\tdevice\ttable\taddress\tdecimal\treference\twidth\tread\twrite\terror",
        "Füllstand\tD100\tD100\tholding register\t1064\t4196\t404197\tword\t[3]\t[6,16]\t"], out)

    code, out, err = c.run(["--batch", "--header", "--column", "Address"], b"Tag,Device\nPump,Y0\n")
    c.expect_exit("unknown column name", code, 2, err)
    c.expect("unknown column name", out == b"" and 'no column named "Address" in the header (Tag, '
             'Device)' in err, err)

    # The notations engineers type, each answered; 0x and five digits named as ambiguous.
    code, out, err = c.run(["--format", "json", "44197", "4x4197", "4x04197", "1x1281", "101281",
                            "01542", "0x00001", "3x0001"])
    c.expect_exit("notations", code, 1, err)
    rows = json.loads(out)
    c.expect("notations", [(r["input"], r["device"], r["table"], r["reference"]) for r in rows] == [
        ("44197", "D100", "holding register", "404197"),
        ("4x4197", "D100", "holding register", "404197"),
        ("4x04197", "D100", "holding register", "404197"),
        ("1x1281", "Y0", "discrete input", "101281"),
        ("101281", "Y0", "discrete input", "101281"),
        ("01542", "T5", "coil", "001542"),
        ("0x00001", None, None, None),
        ("3x0001", None, None, None)], rows)
    ambiguous = str(rows[6]["error"]) if len(rows) > 6 else ""
    c.expect("notations", "0x00001 is ambiguous" in ambiguous and "0001h" in ambiguous and
             "000001" in ambiguous, ambiguous)


def check_streams(c):
    # A list fed a line at a time is answered a line at a time; an interrupt then loses nothing
    # already answered.
    process = subprocess.Popen(c.command + ["--batch", "--column", "2"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdin.write(b"Pump,Y0\n")
    process.stdin.flush()
    ready = select.select([process.stdout], [], [], 60)[0]
    first = process.stdout.readline() if ready else b""
    c.expect("streaming", first == b'Pump,Y0,Y0,coil,0500,1280,001281,bit,"[1,2]","[5,15]",\n',
             f"no answer before the input closed: {first}")
    if os.name == "posix" and len(c.command) == 1:
        process.send_signal(signal.SIGINT)
        process.wait(60)
        c.expect("interrupt", process.returncode == -signal.SIGINT, process.returncode)
    else:
        process.stdin.close()
        process.wait(60)
    process.stdout.close()
    process.stderr.close()

    # A write that fails is a failure, never success; a reader that stops early (| head) is not.
    if os.path.exists("/dev/full"):
        for args in (["D100"], ["--format", "json", "D100"], ["--frame", ":01031064000286"]):
            with open("/dev/full", "wb") as full:
                done = subprocess.run(c.command + args, stdout=full, stderr=subprocess.PIPE,
                                      timeout=120)
            c.expect_exit(f"full disk {args}", done.returncode, 2, done.stderr.decode())
            c.expect(f"full disk {args}", b"cannot write standard output" in done.stderr,
                     done.stderr)
    lines = b"".join(b"D%d\n" % n for n in range(200_000))
    process = subprocess.Popen(c.command + ["--batch"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def feed():
        try:
            process.stdin.write(lines)
            process.stdin.close()
        except (BrokenPipeError, OSError):
            pass

    feeder = threading.Thread(target=feed)
    feeder.start()
    head = process.stdout.read(100)
    process.stdout.close()
    err = process.stderr.read().decode()
    process.wait(120)
    feeder.join()
    c.expect("closed pipe", head.startswith(b"D0,D0,") and err == "", err)


def check_undecoded_function(c):
    # A frame whose checksum is right is a frame, even of a function the controller does not take.
    code, out, err = c.run(["--frame", "01 04 00 00 00 01 31 CA", "--format", "json"])
    c.expect_exit("undecoded function", code, 0, err)
    rows = json.loads(out) if code == 0 else [{}]
    c.expect("undecoded function", rows[0].get("function_name") == "read input registers" and
             rows[0].get("error") is None and "not decoded" in str(rows[0].get("note")), rows)


def check_usage(c):
    for args in ([], ["--format", "xml", "D1"], ["--column", "2", "D1"], ["--batch", "-", "D1"],
                 ["--batch", "--format", "json"], ["--no-such-option"], ["D1", "--frame", ":0111EE"],
                 ["--frame", ":0111EE", "--frames", "-"], ["--frame", ""],
                 ["--batch", "--delimiter", "pipe"], ["--format", "xlsx", "D1"]):
        code, out, err = c.run(args)
        c.expect_exit(f"usage {args}", code, 2, err)
        c.expect(f"usage {args}", out == b"" and err.startswith("zentriq-lookup: "), err)
    code, out, err = c.run(["--help"])
    c.expect_exit("help", code, 0, err)
    c.expect("help", b"zentriq-lookup --batch tags.csv" in out, "no examples in --help")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", nargs="+", help="[WRAPPER...] PROGRAM")
    args = parser.parse_args()
    command = args.command[:-1] + [os.path.abspath(args.command[-1])]
    c = Checker(command)
    with tempfile.TemporaryDirectory() as workdir:
        check_formats(c)
        check_batch(c, workdir)
        check_bare_numbers(c)
        check_typed_items(c)
        check_frames(c, workdir)
        check_names(c, workdir)
        check_exports(c, workdir)
        check_streams(c)
        check_undecoded_function(c)
        check_usage(c)
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "zentriq-lookup: every check passed")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
