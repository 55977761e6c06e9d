#!/usr/bin/python3
"""End-to-end checks of how zentriq-lookup --batch reads a list, on the built program (the Windows
one under Wine included):

    check_batch_reads.py [WRAPPER...] PROGRAM

- a list named as a file, the same file on standard input, and the same bytes through a pipe give
  the same output byte for byte, for lists whose rows cross pages and the stretches a file is read
  in, with and without a byte-order mark, in UTF-16, and ending without a line break;
- every device of the map written plainly (D100, d100, D0100) is answered with the same columns as
  the same device written the long way round (" D100"), on every table and with every separator;
- a file cut short while it is read (natively only): the rows before the cut, one error line,
  exit status 2, and no row made of what the cut took away.

Every failed check is listed, then the script exits 1."""

import csv
import io
import os
import subprocess
import sys
import tempfile
import time

from check_lookup import Checker

DEVICES = ([f"S{n}" for n in range(1024)] + [f"X{n:o}" for n in range(256)] +
           [f"Y{n:o}" for n in range(256)] + [f"T{n}" for n in range(256)] +
           [f"M{n}" for n in range(4096)] + [f"C{n}" for n in range(256)] +
           [f"D{n}" for n in range(10000)])


def long_list():
    """Rows of every length from 1 to 5,000 bytes, so that rows cross every page and the 1 MB
    stretches a file is read in, some quoted past the item, some over two lines."""
    rows = []
    size = 0
    n = 0
    while size < 2_300_000:
        device = DEVICES[(n * 7919) % len(DEVICES)]
        pad = "x" * ((n * 37) % 5000)
        shape = n % 5
        if shape == 0:
            row = f"T{n},{device},{pad}"
        elif shape == 1:
            row = f'T{n},{device},"{pad}, rack {n}"'
        elif shape == 2:
            row = f'T{n},{device},"two\nlines {pad}"'
        elif shape == 3:
            row = f'"T{n}",{device}'
        else:
            row = f"{device}"  # a short row
        rows.append(row)
        size += len(row) + 1
        n += 1
    return "\n".join(rows)


def check_ways_in(c, tmp):
    text = long_list()
    lists = {
        "plain": text.encode() + b"\n",
        "no last line break": text.encode(),
        "CR LF and a UTF-8 mark": b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode(),
        "semicolons": text.replace(",", ";").encode() + b"\n",
        "UTF-16 with its mark": b"\xff\xfe" + text.encode("utf-16-le"),
        "one line": b"Pump,D100",
    }
    for name, data in lists.items():
        path = os.path.join(tmp, "list.csv")
        with open(path, "wb") as f:
            f.write(data)
        named = c.run(["--batch", path, "--column", "2"])
        with open(path, "rb") as f:
            done = subprocess.run(c.command + ["--batch", "-", "--column", "2"], stdin=f,
                                  capture_output=True, timeout=120)
        redirected = done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")
        piped = c.run(["--batch", "-", "--column", "2"], data)
        c.expect(f"{name}: file named", named[0] in (0, 1) and named[1], named[2])
        c.expect(f"{name}: file on standard input", redirected[:2] == named[:2], redirected[2])
        c.expect(f"{name}: pipe", piped[:2] == named[:2], piped[2])


def check_quick_way(c):
    """Each device plainly and the long way round, row after row: the same answer columns."""
    items = []
    for device in DEVICES:
        items += [device, device.lower(), device[0] + "0" + device[1:], " " + device]
    data = "\n".join(f"tag,{item}" for item in items).encode()
    for table in (None, "coil", "discrete-input", "holding-register"):
        for separator in (",", ";", "\t"):
            args = ["--batch", "-", "--column", "2", "--delimiter", separator]
            code, out, err = c.run(args + (["--table", table] if table else []),
                                   data.replace(b",", separator.encode()))
            name = f"every device, table {table}, separator {separator!r}"
            c.expect(name, code in (0, 1), err)
            rows = list(csv.reader(io.StringIO(out.decode()), delimiter=separator))
            by_item = {}
            for row in rows:
                by_item.setdefault(row[1], []).append(row[2:])
            for device in DEVICES:
                long_way = by_item.get(" " + device)
                for plain in (device, device.lower(), device[0] + "0" + device[1:]):
                    if by_item.get(plain) != long_way or not long_way:
                        c.expect(name, False, f"{plain}: {by_item.get(plain)} against {long_way}")
                        break


def check_cut_short(c, tmp):
    """The program mapped the file and is held writing into a full pipe when the file is cut."""
    path = os.path.join(tmp, "cut.csv")
    rows = [f"Tag{n},D{n % 10000},station {n % 12}" for n in range(200_000)]
    data = "\n".join(rows).encode() + b"\n"
    with open(path, "wb") as f:
        f.write(data)
    process = subprocess.Popen(c.command + ["--batch", path, "--column", "2"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = process.stdout.read(4096)  # it has begun; the pipe fills again behind this
    time.sleep(0.3)
    cut = 1_000_003  # inside a row
    os.truncate(path, cut)
    rest = process.stdout.read()
    err = process.stderr.read().decode()
    process.wait(120)
    out = first + rest
    whole_rows = data[:cut].count(b"\n")
    expected = subprocess.run(c.command + ["--batch", "-", "--column", "2"],
                              input=b"\n".join(data[:cut].split(b"\n")[:whole_rows]) + b"\n",
                              capture_output=True, timeout=120).stdout
    c.expect("cut short: status", process.returncode == 2, process.returncode)
    c.expect("cut short: one error line", err.count("\n") == 1 and "cut short" in err, err)
    newline = b"\n"
    c.expect("cut short: the rows before the cut", out == expected,
             f"{out.count(newline)} rows written, {expected.count(newline)} before the cut")


def main():
    command = sys.argv[1:]
    if not command:
        raise SystemExit(__doc__)
    c = Checker(command)
    with tempfile.TemporaryDirectory() as tmp:
        check_ways_in(c, tmp)
        check_quick_way(c)
        if len(command) == 1 and os.name == "posix":
            check_cut_short(c, tmp)
    for fault in c.faults:
        print("FAILED", fault)
    sys.exit(1 if c.faults else 0)


if __name__ == "__main__":
    main()
