#!/usr/bin/python3
"""The configs zentriq-lookup writes for engines that cannot run here (Telegraf, Home Assistant),
parsed as the engine parses them and checked field by field against its documented schema; every address is read
back through zentriq-lookup itself and must name the tag's device.

    check_configs.py [WRAPPER...] PROGRAM"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import tomllib

import yaml

# A tag list as exported, with what each kept tag must be in every config: (device, table, type).
TAGS = ("Tag,Device,Type\r\nLevel,D100,\r\nFlow rate,D200,f32\r\nTotal,D202,i32\r\n"
        "Timer,T5,\r\nTimer done,T5,bool\r\nRun,M1,\r\nIn,X1,\r\nBad,M0,f32\r\nCount,C200,\r\n"
        "Pump,Y0,switch\r\n")
KEPT = {
    "Level": ("D100", "holding register", "INT16"),
    "Flow_rate": ("D200", "holding register", "FLOAT32"),
    "Total": ("D202", "holding register", "INT32"),
    "Timer": ("T5", "holding register", "UINT16"),
    "Timer_done": ("T5", "coil", None),
    "Run": ("M1", "coil", None),
    "In": ("X1", "discrete input", None),
    "Pump": ("Y0", "coil", None),
}
TELEGRAF_REGISTERS = {"coil": "coil", "discrete": "discrete input", "holding": "holding register"}
TELEGRAF_TYPES = {"INT16", "UINT16", "INT32", "UINT32", "FLOAT32"}


class Checker:
    def __init__(self, command):
        self.command = command
        self.faults = []

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}")

    def run(self, args, stdin=b""):
        done = subprocess.run(self.command + args, input=stdin, capture_output=True, timeout=60)
        return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")

    def device_at(self, table, address):
        """The device zentriq-lookup names at a zero-based decimal address of a table."""
        code, out, _ = self.run(["--format", "json", "--numbers", "decimal", "--table",
                                 {"coil": "c", "discrete input": "di",
                                  "holding register": "hr"}[table], str(address)])
        rows = json.loads(out) if code == 0 else []
        return rows[0]["device"] if rows else None


def config(c, target, *connection):
    code, out, err = c.run(["--batch", "-", "--header", "--column", "Device", "--name-column",
                            "Tag", "--type-column", "Type", "--format", target, *connection],
                           TAGS.encode())
    c.expect(f"{target}: exit status", code == 1, f"{code}, expected 1 (two rows left out)")
    c.expect(f"{target}: rows left out", err.count("\n") == 2 and "line 9: M0:f32" in err and
             "line 10: C200" in err, err)
    return out


def check_telegraf(c):
    text = config(c, "telegraf", "--port", "/dev/ttyUSB0")
    plugin = tomllib.loads(text)["inputs"]["modbus"][0]
    c.expect("telegraf: serial line", {k: plugin.get(k) for k in (
        "controller", "baud_rate", "data_bits", "parity", "stop_bits", "transmission_mode",
        "configuration_type", "slave_id")} == {
        "controller": "file:///dev/ttyUSB0", "baud_rate": 9600, "data_bits": 7, "parity": "E",
        "stop_bits": 1, "transmission_mode": "ASCII", "configuration_type": "request",
        "slave_id": 1}, plugin)
    seen = {}
    for request in plugin["request"]:
        table = TELEGRAF_REGISTERS.get(request["register"])
        c.expect("telegraf: register", table is not None, request["register"])
        # The controller keeps the low word first: every register in CDAB, where a 16-bit value
        # reads as in ABCD.
        c.expect("telegraf: word order", request["byte_order"] ==
                 ("CDAB" if table == "holding register" else "ABCD"), request)
        for field in request["fields"]:
            if field.get("omit"):
                continue
            seen[field["name"]] = (c.device_at(table, field["address"]), table, field.get("type"))
            c.expect("telegraf: field type", field.get("type") in TELEGRAF_TYPES |
                     ({None} if table != "holding register" else set()), field)
    c.expect("telegraf: every tag at its device, table and type", seen == KEPT,
             f"{seen}\n   expected {KEPT}")

    for mode, transmission in (([], "TCP"), (["--mode", "rtu"], "RTUoverTCP"),
                               (["--mode", "ascii"], "ASCIIoverTCP")):
        tcp = tomllib.loads(config(c, "telegraf", "--host", "192.168.1.5:1502", "--slave", "3",
                                   *mode))
        plugin = tcp["inputs"]["modbus"][0]
        c.expect(f"telegraf: {transmission}", plugin["controller"] == "tcp://192.168.1.5:1502" and
                 plugin["transmission_mode"] == transmission and plugin["slave_id"] == 3 and
                 all(r["slave_id"] == 3 for r in plugin["request"]) and
                 "baud_rate" not in plugin, plugin)


HA_TABLES = {"holding": "holding register", "coil": "coil", "discrete_input": "discrete input"}
HA_TYPES = {"INT16": "int16", "UINT16": "uint16", "INT32": "int32", "UINT32": "uint32",
            "FLOAT32": "float32"}


def check_home_assistant(c):
    hub = yaml.safe_load(config(c, "home-assistant", "--port", "/dev/ttyUSB0", "--mode", "rtu",
                                "--baud", "19200", "--slave", "2"))["modbus"][0]
    c.expect("home-assistant: serial hub", {k: hub.get(k) for k in (
        "type", "method", "port", "baudrate", "bytesize", "parity", "stopbits")} == {
        "type": "serial", "method": "rtu", "port": "/dev/ttyUSB0", "baudrate": 19200,
        "bytesize": 8, "parity": "E", "stopbits": 1}, hub)
    seen = {}
    for platform, key in (("sensors", "input_type"), ("binary_sensors", "input_type"),
                          ("switches", "write_type")):
        for entity in hub.get(platform, []):
            table = HA_TABLES.get(entity[key])
            c.expect(f"home-assistant: {platform} table", table is not None and
                     (platform == "sensors") == (table == "holding register") and
                     (platform != "switches" or table == "coil"), entity)
            c.expect("home-assistant: device_address", entity.get("device_address") == 2, entity)
            wide = entity.get("data_type") in ("int32", "uint32", "float32")
            c.expect("home-assistant: word order", (entity.get("swap") == "word") == wide, entity)
            name = entity["name"].replace(" ", "_")
            seen[name] = (c.device_at(table, entity["address"]), table,
                          next((t for t, h in HA_TYPES.items() if h == entity.get("data_type")),
                               None))
    c.expect("home-assistant: every tag at its device, table and type", seen == KEPT,
             f"{seen}\n   expected {KEPT}")
    c.expect("home-assistant: the switch", [e["name"] for e in hub.get("switches", [])] == ["Pump"],
             hub.get("switches"))

    for connection, hub in ((["--host", "[::1]:1502"], ("tcp", "::1", 1502)),
                            (["--host", "192.168.1.5:4001", "--mode", "rtu"],
                             ("rtuovertcp", "192.168.1.5", 4001))):
        tcp = yaml.safe_load(config(c, "home-assistant", *connection))["modbus"][0]
        c.expect(f"home-assistant: {hub[0]} hub", (tcp["type"], tcp["host"], tcp["port"]) == hub
                 and "method" not in tcp, tcp)


def lookup_config(c, target, tags, *more, connection=("--port", "/dev/ttyUSB0")):
    return c.run(["--batch", "-", "--header", "--column", "Device", "--name-column", "Tag",
                  "--type-column", "Type", "--format", target, *connection, *more], tags.encode())


def ha_hub(out):
    return yaml.safe_load(out)["modbus"][0] if out else {}


def telegraf_fields(out):
    plugin = tomllib.loads(out)["inputs"]["modbus"][0] if out else {}
    return [f for r in plugin.get("request", []) for f in r["fields"] if not f.get("omit")]


def check_fixes(c):
    """One row for each thing an engine would otherwise do other than meant."""
    with tempfile.TemporaryDirectory() as folder:
        unwritten = os.path.join(folder, "config")
        for target in ("telegraf", "home-assistant", "node-red"):
            for label, tags in (("header only", "Tag,Device,Type\r\n"), ("empty file", "")):
                code, out, err = lookup_config(c, target, tags, "--output", unwritten)
                c.expect(f"{target}, {label}: nothing written", code == 1 and out == "" and
                         err == "zentriq-lookup: no devices in the list\n" and
                         not os.path.exists(unwritten), f"{code} {out!r} {err!r}")
        code, out, err = lookup_config(c, "telegraf", "Tag,Device,Type\r\nBad,M0,f32\r\n",
                                       "--output", unwritten)
        c.expect("every row refused: nothing written", code == 1 and not os.path.exists(unwritten)
                 and err.endswith("zentriq-lookup: no device in the list can be read: nothing "
                                  "written\n"), f"{code} {err!r}")
    # (name, format, tag list, extra options, exit status, stderr, check of the output)
    rows = [
        ("a switch reads its coil back", "home-assistant", "Tag,Device,Type\r\nPump,Y0,switch\r\n",
         [], 0, "", lambda out: ha_hub(out)["switches"][0]["verify"] ==
         {"input_type": "coil", "address": 1280}),
        ("a second row at an address is refused with the first's name", "home-assistant",
         "Tag,Device,Type\r\nFlow,D200,f32\r\nLevel,D100,\r\nRaw,D200,\r\nPump,Y0,switch\r\n"
         "Lamp,Y0,\r\n", [], 1,
         "zentriq-lookup: line 4: Raw: D200 is already read as Flow (line 2), and Home Assistant "
         "loads one entity an address: left out\nzentriq-lookup: line 6: Lamp: Y0 is already read "
         "as Pump (line 5), and Home Assistant loads one entity an address: left out\n",
         lambda out: [e["name"] for e in ha_hub(out)["sensors"]] == ["Flow", "Level"] and
         [e["name"] for e in ha_hub(out)["switches"]] == ["Pump"] and
         "binary_sensors" not in ha_hub(out)),
        ("units, and decimals by type", "home-assistant",
         "Tag,Device,Type,Unit\r\nFlow,D200,f32,l/min\r\nLevel,D100,,°C\r\n",
         ["--unit-column", "Unit", "--precision", "3"], 0, "",
         lambda out: [(e["precision"], e.get("unit_of_measurement")) for e in
                      ha_hub(out)["sensors"]] == [(3, "l/min"), (0, "°C")]),
        ("a float shows one decimal unless told", "home-assistant",
         "Tag,Device,Type\r\nFlow,D200,REAL\r\n", [], 0, "",
         lambda out: ha_hub(out)["sensors"][0]["precision"] == 1),
        ("scan_interval as given", "home-assistant", "Tag,Device,Type\r\nLevel,D100,\r\n",
         ["--interval", "30"], 0, "", lambda out: ha_hub(out)["sensors"][0]["scan_interval"] == 30),
        ("field names keep their letters", "telegraf",
         "Tag,Device,Type\r\nTempérature four,D100,\r\nÜberdruck (bar),D101,\r\n", [], 0, "",
         lambda out: [f["name"] for f in telegraf_fields(out)] ==
         ["Température_four", "Überdruck__bar_"]),
        ("interval as given", "telegraf", "Tag,Device,Type\r\nLevel,D100,\r\n",
         ["--interval", "60"], 0, "",
         lambda out: tomllib.loads(out)["inputs"]["modbus"][0]["interval"] == "60s"),
        ("a unit in a comment after its field", "telegraf",
         "Tag,Device,Type,Unit\r\nLevel,D100,,m³\r\n", ["--unit-column", "Unit"], 0, "",
         lambda out: '{ address=4196, name="Level", type="INT16" },  # m³\n' in out),
        ("an unknown type names its column and word", "telegraf",
         "Tag,Device,Type\r\nA,D100,LREAL\r\nB,D101,\r\n", [], 1,
         "zentriq-lookup: line 2: column Type: LREAL is not a type: the types are bool, switch, "
         "i16, u16, i32, u32 and f32 (also written BOOL, INT, UINT, WORD, DINT, UDINT, DWORD, "
         "REAL, float, int16, uint16, int32, uint32, float32)\n",
         lambda out: [f["name"] for f in telegraf_fields(out)] == ["B"]),
        ("a switch on a register names the word written", "home-assistant",
         "Tag,Device,Type\r\nA,D210,Switch\r\nB,D101,\r\n", [], 1,
         "zentriq-lookup: line 2: D210:Switch: D210 is a register; Switch is for coils, which an "
         "engine may also write\n", lambda out: len(ha_hub(out)["sensors"]) == 1),
        ("IEC names read as their types", "telegraf",
         "Tag,Device,Type\r\nA,D100,INT\r\nB,D102,DINT\r\nC,D104,REAL\r\nD,D106,WORD\r\n"
         "E,M0,BOOL\r\n", [], 0, "",
         lambda out: [f.get("type") for f in telegraf_fields(out)] ==
         [None, "INT16", "INT32", "FLOAT32", "UINT16"]),
    ]
    for name, target, tags, more, status, said, good in rows:
        code, out, err = lookup_config(c, target, tags, *more)
        c.expect(name, code == status and err == said and good(out),
                 f"exit {code}, stderr {err!r}\n{out}")
    for more in (["--precision", "2"], ["--unit-column", "Unit"]):
        code, _, err = lookup_config(c, "node-red", "Tag,Device,Unit\r\nA,D100,l\r\n", *more)
        c.expect(f"node-red {more[0]}: a usage error", code == 2 and "is for --format" in err, err)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", nargs="+", help="[WRAPPER...] PROGRAM")
    c = Checker(parser.parse_args().command)
    check_telegraf(c)
    check_home_assistant(c)
    # Items on the command line: a range is one tag per device, each named after it.
    code, out, err = c.run(["--format", "telegraf", "--host", "127.0.0.1", "D100-D101:u16",
                            "D200-D203:f32"])
    fields = [(f["name"], f["address"], f["type"]) for r in
              tomllib.loads(out)["inputs"]["modbus"][0]["request"] for f in r["fields"]
              if not f.get("omit")]
    c.expect("telegraf: ranges", code == 0 and fields == [
        ("D100", 4196, "UINT16"), ("D101", 4197, "UINT16"), ("D200", 4296, "FLOAT32"),
        ("D202", 4298, "FLOAT32")], f"{code} {fields} {err}")

    # A config says where the controller is, or is no config; and an engine that cannot speak
    # ASCII over TCP is not given a config for it.
    nowhere = "say where the controller is: --port DEVICE (serial) or --host HOST"
    ascii_over_tcp = ["--host", "192.168.1.5:4001", "--mode", "ascii"]
    for target, connection, said in (
            ("telegraf", [], nowhere), ("home-assistant", [], nowhere), ("node-red", [], nowhere),
            ("home-assistant", ascii_over_tcp, "Home Assistant's Modbus integration has no ASCII "
             "over TCP (its hubs are serial, tcp, udp and rtuovertcp): set the controller and the "
             "device server to Modbus RTU and give --mode rtu"),
            ("node-red", ascii_over_tcp, "node-red-contrib-modbus's client has no ASCII over TCP"),
            ("node-red", ["--mode", "rtu"], nowhere)):
        code, out, err = c.run(["--format", target, *connection, "D100"])
        c.expect(f"{target} {' '.join(connection) or 'without a connection'}", code == 2 and
                 out == "" and said in err, f"exit status {code}: {err}")
    check_fixes(c)
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "configs: every check passed")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
