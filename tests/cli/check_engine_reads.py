#!/usr/bin/python3
"""The Telegraf and Home Assistant configs zentriq-lookup writes, loaded and polled as each engine
does (engines.py imitates them from their source) against the simulated controller: each config
passes the engine's own checks, every tag's value read through it is the value the controller
holds, and Telegraf sends no more requests a gather than zentriq-poll's plan of the same list.
Also zentriq-poll reading the types the lists use. Prints the requests each engine sends.

    check_engine_reads.py --lookup PROGRAM --poll PROGRAM"""

import argparse
import math
import os
import random
import re
import struct
import subprocess
import sys
import tomllib

import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "poll"))
sys.path.insert(0, HERE)

import engines  # noqa: E402
from harness import Lab, stop_on_signals  # noqa: E402
from simulator import COIL, INPUT, REGISTER, SEEDED, device_range  # noqa: E402

# A tag list of 30 rows as exported: bits, 16-bit and 32-bit values, a unit column, a name with
# letters beyond ASCII; D124:i32 stands where a plan of 125 registers a request would end.
TAGS_30 = [
    ("Pump 1 run", "Y0", "switch", ""), ("Pump 2 run", "Y1", "switch", ""),
    ("Valve open", "Y7", "BOOL", ""), ("Alarm", "M1", "", ""), ("Reset", "M10", "bool", ""),
    ("Auto", "M100", "", ""), ("Step 3", "S3", "", ""), ("Start button", "X0", "", ""),
    ("Stop button", "X1", "", ""), ("Level switch", "X17", "", ""),
    ("Timer done", "T5", "bool", ""), ("Timer", "T5", "", "s"), ("Batch count", "C3", "", ""),
    ("Counter done", "C3", "bool", ""), ("Level", "D100", "", "l"),
    ("Température four", "D110", "INT", "°C"), ("Pressure", "D120", "u16", "bar"),
    ("Total", "D124", "i32", "l"), ("Speed", "D130", "WORD", "rpm"),
    ("Flow rate", "D200", "f32", "l/min"), ("Energy", "D202", "DINT", "kWh"),
    ("Setpoint", "D210", "REAL", "°C"), ("Runtime", "D220", "u32", "h"),
    ("Recipe", "D300", "", ""), ("Mode", "D301", "", ""), ("Wide", "D1000", "float", ""),
    ("Far", "D4000", "", ""), ("Upper", "D4096", "i32", ""), ("Top", "D9000", "", ""),
    ("Last", "D9998", "u16", ""),
]

POOL = ([f"S{n}" for n in range(1024)] + [f"X{n:o}" for n in range(256)] +
        [f"Y{n:o}" for n in range(256)] + [f"M{n}" for n in range(4096)] +
        [f"T{n}" for n in range(256)] + [f"C{n}" for n in range(200)] +
        [f"D{n}" for n in range(10000)])


def seeded_list(rows, seed):
    """`rows` tags drawn from the whole map with a fixed seed, each address named once."""
    chance = random.Random(seed)
    taken, tags = set(), []
    while len(tags) < rows:
        device = chance.choice(POOL)
        letter = device[0]
        if letter == "D":
            kind = chance.choice(["", "", "u16", "i32", "f32", "u32"])
        elif letter in "TC":
            kind = chance.choice(["", "bool"])
        elif letter == "X":
            kind = ""
        else:
            kind = chance.choice(["", "switch"])
        table, addresses = address_of(device, kind)
        wanted = {(table, a) for a in range(addresses[0], addresses[0] + len(addresses))}
        if wanted & taken or (len(addresses) == 2 and device in ("D4095", "D9999")):
            continue
        taken |= wanted
        tags.append((f"{device}_{kind or 'tag'}", device, kind, ""))
    return tags


def csv_text(tags):
    return "Tag,Device,Type,Unit\r\n" + "".join(f"{','.join(row)}\r\n" for row in tags)


def address_of(device, kind):
    """(table, [addresses]) a tag reads: its value's register (or both of a 32-bit value's), or
    its bit."""
    tables = device_range(device)
    if kind in ("bool", "BOOL", "switch") or not tables[REGISTER]:
        table = INPUT if not tables[COIL] else COIL
    else:
        table = REGISTER
    first = min(tables[table])
    wide = kind.lower() in ("i32", "u32", "f32", "dint", "real", "float")
    return table, [first, first + 1] if wide else [first]


def expected_value(device, kind):
    table, addresses = address_of(device, kind)
    if table != REGISTER:
        return addresses[0] % 2 == 1
    words = [SEEDED.get(a, a) for a in addresses]
    layout = {"": ">h" if device[0] == "D" else ">H", "i16": ">h", "int": ">h", "u16": ">H",
              "word": ">H", "i32": ">i", "dint": ">i", "u32": ">I", "f32": ">f", "real": ">f",
              "float": ">f"}[kind.lower()]
    return struct.unpack(layout, struct.pack(">" + "H" * len(words), *reversed(words)))[0]


def same(got, want):
    if isinstance(want, float):
        return math.isclose(got, want, rel_tol=1e-6)
    return bool(got) == want if isinstance(want, bool) else got == want


class Check:
    def __init__(self, lookup, poll):
        self.lookup, self.poll = lookup, poll
        self.faults = []
        self.figures = []

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}"[:3000])

    def compare(self, name, got, want):
        """Every value read (`got`, by name) is the one the controller holds (`want`)."""
        wrong = {key: (got.get(key), value) for key, value in want.items()
                 if key not in got or not same(got[key], value)}
        self.expect(name, not wrong and len(got) == len(want),
                    f"{len(wrong)} wrong (got, expected): {dict(list(wrong.items())[:8])}")

    def run(self, command, stdin=""):
        done = subprocess.run(command, input=stdin.encode(), capture_output=True, timeout=300)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def config(self, target, tags, *connection):
        code, out, err = self.run([self.lookup, "--batch", "-", "--header", "--column", "Device",
                                   "--name-column", "Tag", "--type-column", "Type",
                                   "--unit-column", "Unit", "--format", target, *connection],
                                  csv_text(tags))
        self.expect(f"{target}: exit status", code == 0, f"{code}: {err}")
        return out

    def planned(self, tags, *connection):
        """The requests and milliseconds a scan of zentriq-poll's plan of the same list takes."""
        code, out, err = self.run([self.poll, *connection, "read", "--batch", "-", "--header",
                                   "--column", "Device", "--type-column", "Type", "--plan"],
                                  csv_text(tags))
        self.expect("zentriq-poll --plan", code == 0, err)
        requests = len(re.findall(r"^0[123] [0-9A-F]{4} \+", out, re.M))
        time = re.search(r"predicted (\d+) ms", out)
        return requests, int(time[1]) if time else 0

    def telegraf(self, label, tags, port):
        serial = tomllib.loads(self.config("telegraf", tags, "--port", "/dev/ttyUSB0"))
        plugin = serial["inputs"]["modbus"][0]
        self.expect(f"{label} telegraf: checks", not engines.telegraf_faults(plugin),
                    engines.telegraf_faults(plugin))
        sent = engines.telegraf_transactions(plugin)
        plan, ms = self.planned(tags, "--port", "/dev/ttyUSB0")
        self.expect(f"{label} telegraf on the serial line: requests", len(sent) <= plan,
                    f"{len(sent)} a gather, the plan {plan}")
        self.expect(f"{label} telegraf: interval", plugin["interval"] ==
                    f"{max(1, math.ceil(ms / 1000))}s", f"{plugin['interval']}, a scan {ms} ms")
        self.figures.append(f"{label}: Telegraf sends {len(sent)} requests a gather on the serial "
                            f"line (zentriq-poll --plan: {plan}), interval {plugin['interval']}")

        plugin = tomllib.loads(self.config("telegraf", tags, "--host", f"127.0.0.1:{port}"))[
            "inputs"]["modbus"][0]
        sent = engines.telegraf_transactions(plugin)
        plan, _ = self.planned(tags, "--host", f"127.0.0.1:{port}")
        self.expect(f"{label} telegraf over TCP: requests", len(sent) <= plan,
                    f"{len(sent)} a gather, the plan {plan}")
        self.figures.append(f"{label}: Telegraf sends {len(sent)} requests a gather over Modbus "
                            f"TCP (zentriq-poll --plan: {plan})")
        want = {field_name(name): expected_value(device, kind) for name, device, kind, _ in tags}
        got = {}
        link = engines.ModbusTcp(port)
        try:
            for code, start, count, fields in sent:
                words = link.read(code, start, count)
                for field, offset in fields:
                    got[field["name"]] = (engines.telegraf_value(field, words[offset:])
                                          if code == 3 else words[offset])
        finally:
            link.close()
        self.compare(f"{label} telegraf: every value", got, want)

    def home_assistant(self, label, tags, port):
        serial = yaml.safe_load(self.config("home-assistant", tags, "--port", "/dev/ttyUSB0"))
        hub = serial["modbus"][0]
        reads = engines.home_assistant_reads(hub)
        # Each entity's read on the controller's line, 9600 7E1 ASCII: ':', two hex digits a byte
        # and two for the LRC, CR LF; 10 bits a character; a reply 10 ms after its request.
        characters = sum(17 + (11 + 4 * count if code == 3 else 13)
                         for _, _, code, _, count in reads)
        seconds = max(5, math.ceil(characters * 10 / 9600 + 0.010 * len(reads)))
        faults = engines.home_assistant_faults(hub, seconds)
        self.expect(f"{label} home-assistant: checks", not faults, faults[:5])
        self.figures.append(f"{label}: Home Assistant sends {len(reads)} reads a poll, "
                            f"scan_interval {seconds} s on the serial line")

        hub = yaml.safe_load(self.config("home-assistant", tags, "--host",
                                         f"127.0.0.1:{port}"))["modbus"][0]
        want = {name: expected_value(device, kind) for name, device, kind, _ in tags}
        got = {}
        link = engines.ModbusTcp(port)
        try:
            for platform, entity, code, address, count in engines.home_assistant_reads(hub):
                words = link.read(code, address, count)
                got[entity["name"]] = (engines.home_assistant_value(entity, words)
                                       if platform == "sensors" else words[0])
        finally:
            link.close()
        self.compare(f"{label} home-assistant: every value", got, want)
        units = {e["name"]: e.get("unit_of_measurement", "") for e in hub.get("sensors", [])}
        self.expect(f"{label} home-assistant: units", all(
            units[name] == unit for name, _, _, unit in tags if name in units), units)

    def poll_types(self, port):
        """zentriq-poll reads the types a list may name, and refuses one it does not know."""
        code, out, err = self.run([self.poll, "--host", f"127.0.0.1:{port}", "--format", "csv",
                                   "read", "Y1:switch", "D200:REAL", "D202:DINT"])
        self.expect("zentriq-poll: switch, REAL, DINT", code == 0 and "Y1:bool,coil,0501,1," in out and
                    "D200:f32,holding register,10C8,0.1," in out and
                    "D202:i32,holding register,10CA,-100000," in out, f"{code} {out} {err}")
        code, out, err = self.run([self.poll, "--host", f"127.0.0.1:{port}", "read", "D5:LREAL"])
        self.expect("zentriq-poll: an unknown type", code == 2 and
                    "D5:LREAL: LREAL is not a type: the types are bool, switch," in err,
                    f"{code} {err}")


def field_name(name):
    return "".join(c if c.isalnum() or ord(c) > 0x7F else "_" for c in name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lookup", required=True)
    parser.add_argument("--poll", required=True)
    args = parser.parse_args()
    stop_on_signals()
    check = Check(args.lookup, args.poll)
    with Lab() as lab:
        port = int(lab.simulator("--tcp", "0"))
        for label, tags in (("30 tags", TAGS_30), ("5000 rows", seeded_list(5000, 20261210))):
            check.telegraf(label, tags, port)
            check.home_assistant(label, tags, port)
        check.poll_types(port)
    for figure in check.figures:
        print(figure)
    for fault in check.faults:
        print("FAIL", fault)
    print(f"{len(check.faults)} faults" if check.faults else "engine reads: every check passed")
    return 1 if check.faults else 0


if __name__ == "__main__":
    sys.exit(main())
