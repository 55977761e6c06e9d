#!/usr/bin/python3
"""End-to-end checks of zentriq-lookup --format xlsx: the spreadsheet holds the rows of the csv
output, cell for cell. Each .xlsx is read back by LibreOffice Calc (headless, in a profile of its
own) and saved as CSV with every text cell in quotes, so a cell's type shows as well as its text:
an address such as 0E00 or a reference such as 003585 must come back as the same text, the
decimal address as the same number.

    check_xlsx.py [--sanitized] [WRAPPER...] PROGRAM

where WRAPPER is the command that runs PROGRAM (such as Wine with its arguments). The checks of
memory, of a file that cannot be written whole and of a full sheet run only when PROGRAM runs
natively; --sanitized (a sanitizer build) leaves out the memory bound.

Every failed check is listed, then the script exits 1."""

import argparse
import csv
import io
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import zipfile

ITEMS = ["C0", "C5", "D3584", "D7680", "D100", "Y0", "T5", "X17", "S0", "M1536", "X8"]
UNANSWERED = ["X8"]
# The tag list's own fields are text whatever they look like: numbers, a formula, a boolean.
TAGS = ("Tag,Device,Comment\r\n"
        "0500,D100,=1+1\r\n"
        'Lamp,Y0,"red, ""on"""\r\n'
        "Level,D3584,Füllstand °C\r\n"
        "short\r\n"
        "Timer,T5,-3\r\n"
        "003585,C0,1E05\r\n"
        '"two\nlines",S0,TRUE\r\n'
        "bad,X18,0E00\r\n").encode()
# Bytes that are no UTF-8 and characters no spreadsheet file can hold (NUL) become U+FFFD; other
# control characters stay, and so does text that spreadsheets would read as a character's code.
NASTY = b"bad\xff\xc3\x28,D100,nul\x00x\nctl\x01\x1f end,Y0,_x0041_ _x0001_\n"
NASTY_CELLS = [["bad\ufffd\ufffd(", "D100", "nul\ufffdx"],
               ["ctl\x01\x1f end", "Y0", "_x0041_ _x0001_"]]
# A cell holds 32,767 characters: a longer field is cut there, and said so.
LONG_FIELD = "é" + "x" * 39_999
SHEET_ROWS = 1_048_576
MEMORY_BOUND_KB = 64 * 1024
LIBREOFFICE_SECONDS = 300


class Checker:
    def __init__(self, command, workdir):
        self.command = command
        self.workdir = workdir
        self.faults = []

    def run(self, args, **options):
        done = subprocess.run(self.command + args, capture_output=True, cwd=self.workdir,
                              timeout=600, **options)
        return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}")

    def path(self, name):
        return os.path.join(self.workdir, name)


def typed_rows(text):
    """Rows of (text, quoted) pairs, from CSV in which LibreOffice quoted every text cell."""
    rows, row, i = [], [], 0
    while i < len(text):
        if text[i] == '"':
            parts, j = [], i + 1
            while True:
                k = text.index('"', j)
                parts.append(text[j:k])
                if not text.startswith('""', k):
                    break
                parts.append('"')
                j = k + 2
            row.append(("".join(parts), True))
            i = k + 1
        else:
            j = i
            while j < len(text) and text[j] not in ",\r\n":
                j += 1
            row.append((text[i:j], False))
            i = j
        if text.startswith(",", i):
            i += 1
            if i == len(text) or text[i] in "\r\n":
                row.append(("", False))
            else:
                continue
        i += 2 if text.startswith("\r\n", i) else 1
        rows.append(row)
        row = []
    return rows


def trimmed(row, empty):
    while row and row[-1] == empty:
        row = row[:-1]
    return row


def compare(c, name, csv_text, sheet_rows):
    """Every cell of the csv output against the sheet: text as quoted text, the decimal column as
    an unquoted number, an empty cell as an empty cell."""
    want_rows = list(csv.reader(io.StringIO(csv_text, newline="")))
    c.expect(name, len(sheet_rows) == len(want_rows),
             f"{len(sheet_rows)} rows in the sheet, {len(want_rows)} in the csv output")
    decimal = want_rows[0].index("decimal")
    differences = []
    for number, (want, got) in enumerate(zip(want_rows, sheet_rows), 1):
        want = trimmed(want, "")
        got = trimmed(got, ("", False))
        expected = [("", False) if not text else
                    (text, False) if column == decimal and number > 1 else (text, True)
                    for column, text in enumerate(want)]
        if got != expected:
            differences.append(f"row {number}: sheet {got}, csv {want}")
    c.expect(name, not differences, "; ".join(differences[:5]))


def read_back(c, names):
    """The sheets of the named .xlsx files as LibreOffice Calc reads them: name -> typed rows."""
    office = shutil.which("soffice") or shutil.which("libreoffice")
    if office is None:
        c.expect("LibreOffice", False, "soffice is not installed (Debian: libreoffice-calc-nogui)")
        return {}
    outdir = c.path("read-back")
    profile = "file://" + c.path("office-profile")
    # Field separator, text delimiter, UTF-8, first line; quote every text cell; cells as stored.
    filter_options = "44,34,76,1,,0,true,true,false,false"
    done = subprocess.run(
        [office, f"-env:UserInstallation={profile}", "--headless", "--norestore",
         "--convert-to", f"csv:Text - txt - csv (StarCalc):{filter_options}", "--outdir", outdir]
        + [c.path(name) for name in names],
        capture_output=True, timeout=LIBREOFFICE_SECONDS)
    sheets = {}
    for name in names:
        converted = os.path.join(outdir, os.path.splitext(name)[0] + ".csv")
        if not os.path.exists(converted):
            c.expect("LibreOffice", False, f"{name} was not converted: {done.stderr[-500:]}")
            continue
        with open(converted, encoding="utf-8", newline="") as f:
            sheets[name] = typed_rows(f.read())
    return sheets


def check_layout(c, name):
    """The header stays in view and the columns are as wide as their text, within reason."""
    with zipfile.ZipFile(c.path(name)) as book:
        sheet = book.read("xl/worksheets/sheet1.xml").decode()
    c.expect(f"{name} header", 'ySplit="1"' in sheet and 'state="frozen"' in sheet,
             "the sheet is not frozen below its first row")
    widths = [float(part.split('"')[1]) for part in sheet.split(' width=')[1:]]
    c.expect(f"{name} widths", widths and min(widths) >= 2 and max(widths) <= 81 and
             any(width >= 16 for width in widths), f"column widths {widths}")


def check_round_trip(c):
    with open(c.path("tags.csv"), "wb") as f:
        f.write(TAGS)
    with open(c.path("nasty.csv"), "wb") as f:
        f.write(NASTY)
    code, out, err = c.run(["--batch", "nasty.csv", "--column", "2", "--format", "xlsx",
                            "--output", "nasty.xlsx"])
    c.expect("nasty.xlsx", code == 0 and out == b"", f"exit status {code}, stderr {err[:300]}")
    with open(c.path("long.csv"), "w", encoding="utf-8") as f:
        f.write(f"D100,{LONG_FIELD}\n")
    code, out, err = c.run(["--batch", "long.csv", "--format", "xlsx", "--output", "long.xlsx"])
    c.expect("long.xlsx", code == 1 and out == b"" and "line 1: " in err and
             "row 1: a cell was cut to the 32767 characters" in err, f"stderr {err[:300]}")
    runs = {
        "items ü.xlsx": ITEMS,
        "tags.xlsx": ["--batch", "tags.csv", "--column", "2", "--header"],
    }
    csv_output = {}
    for name, args in runs.items():
        code, out, err = c.run(args + ["--format", "csv"])
        c.expect(f"{name} csv", code == 1, f"exit status {code}; stderr: {err[:300]}")
        csv_output[name] = (out.decode(), err)
        code, out, err = c.run(args + ["--format", "xlsx", "--output", name])
        c.expect(f"{name}", code == 1 and out == b"",
                 f"exit status {code} (1 expected), stdout {out[:100]}, stderr {err[:300]}")
        c.expect(f"{name} stderr", err == csv_output[name][1],
                 f"xlsx: {err[:300]}; csv: {csv_output[name][1][:300]}")
    items_stderr = csv_output["items ü.xlsx"][1]
    c.expect("items stderr", all(f"{item} " in items_stderr for item in UNANSWERED), items_stderr)
    sheets = read_back(c, list(runs) + ["nasty.xlsx", "long.xlsx"])
    for name in runs:
        if name in sheets:
            compare(c, name, csv_output[name][0], sheets[name])
    if "nasty.xlsx" in sheets:
        cells = [[text for text, _ in row[:3]] for row in sheets["nasty.xlsx"]]
        c.expect("nasty.xlsx", cells == NASTY_CELLS, f"{cells}")
    if "long.xlsx" in sheets:
        rows = sheets["long.xlsx"]
        cell = rows[0][1][0] if rows and len(rows[0]) > 1 else ""
        c.expect("long.xlsx", cell == LONG_FIELD[:32767], f"{len(cell)} characters read back")
    check_layout(c, "tags.xlsx")


def check_unwritable(c):
    code, out, err = c.run(["D100", "--format", "xlsx", "--output", "no-such-dir/out.xlsx"])
    c.expect("missing directory", code == 2 and out == b"" and "no-such-dir/out.xlsx" in err,
             f"exit status {code}, stderr {err[:300]}")


def ignore_file_size_signal():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (200_000, 200_000))


def check_cannot_write_whole(c):
    """Writes that fail part way (here past a file size limit, as on a full disk) end in exit 2
    and leave no file behind."""
    with open(c.path("many.csv"), "w") as f:
        f.write("D100\n" * 20_000)
    code, out, err = c.run(["--batch", "many.csv", "--format", "xlsx", "--output", "cut.xlsx"],
                           preexec_fn=ignore_file_size_signal)
    c.expect("file too large", code == 2 and "cut.xlsx" in err and
             not os.path.exists(c.path("cut.xlsx")), f"exit status {code}, stderr {err[:300]}")


def check_full_sheet(c, sanitized):
    """A sheet holds 1,048,576 rows: a list that fills it is written whole, in little memory; one
    row more is refused and leaves no file."""
    for rows, name in ((SHEET_ROWS - 1, "full"), (SHEET_ROWS, "over")):
        with open(c.path(f"{name}.csv"), "w") as f:
            f.write("Device\n" + "D100\n" * rows)
    runs = {name: subprocess.Popen(
        c.command + ["--batch", f"{name}.csv", "--header", "--format", "xlsx", "--output",
                     f"{name}.xlsx"], cwd=c.workdir, stdout=subprocess.PIPE,
        stderr=subprocess.PIPE) for name in ("full", "over")}
    results = {name: run.communicate(timeout=600) + (run.returncode,) for name, run in runs.items()}

    out, err, code = results["full"]
    c.expect("full sheet", code == 0 and out == b"" and err == b"",
             f"exit status {code}, stderr {err[:300]}")
    if code == 0:
        with zipfile.ZipFile(c.path("full.xlsx")) as book, \
                book.open("xl/worksheets/sheet1.xml") as sheet:
            tail = b""
            while chunk := sheet.read(1 << 20):
                tail = (tail + chunk)[-4096:]
        c.expect("full sheet", f'<row r="{SHEET_ROWS}"'.encode() in tail and
                 b"<c r=\"B1048576\" t=\"inlineStr\"><is><t>D100</t>" in tail, tail[-300:])
    out, err, code = results["over"]
    c.expect("over full", code == 2 and out == b"" and
             b"cannot write over.xlsx: the list has more than 1048576 rows" in err and
             not os.path.exists(c.path("over.xlsx")), f"exit status {code}, stderr {err[:300]}")
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    c.expect("memory", sanitized or peak < MEMORY_BOUND_KB,
             f"{peak} KB at most for a full sheet, {MEMORY_BOUND_KB} KB allowed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sanitized", action="store_true", help="no bound on memory")
    parser.add_argument("command", nargs="+", help="[WRAPPER...] PROGRAM")
    args = parser.parse_args()
    command = args.command[:-1] + [os.path.abspath(args.command[-1])]
    native = len(command) == 1
    with tempfile.TemporaryDirectory() as workdir:
        c = Checker(command, workdir)
        # First, so that the peak memory of the program's runs is not LibreOffice's.
        checks = [lambda: check_full_sheet(c, args.sanitized), lambda: check_cannot_write_whole(c)]
        checks = (checks if native else []) + [lambda: check_round_trip(c),
                                                lambda: check_unwritable(c)]
        for check in checks:
            try:
                check()
            except (OSError, ValueError, IndexError, KeyError, zipfile.BadZipFile,
                    subprocess.TimeoutExpired) as e:
                c.expect("unexpected", False, repr(e))
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else
          "zentriq-lookup --format xlsx: every check passed")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
