#!/usr/bin/python3
"""A Node-RED flow for the Modbus nodes, run in a real Node-RED against the simulated controller:
every tag's value, as the flow's function nodes send it (msg.topic the tag, msg.payload its value),
checked against what the controller holds.

    check_node_red.py --cache DIR (--flow FILE --expect FILE | [--sample] --lookup PROGRAM)
                      [--framer rtu] [--timeout SECONDS]

--expect is a JSON object, tag -> value. Each tag's last value must equal it, a float within
1e-6 of it relatively, a boolean as a boolean. --sample runs a flow written here by hand in the
shape zentriq-lookup writes, its function nodes running the decoder of the flows PROGRAM writes,
and checks the check itself on what that flow delivered. --framer rtu:
the simulator speaks RTU frames over TCP, as a serial device server passes them on, and
zentriq-lookup is asked for a flow for that (--mode rtu).

One line per tag that is missing, wrong or not expected; exit status 1 if there is any, 0 if not,
2 if Node-RED or the simulator could not be started."""

import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "poll"))

from harness import HarnessError, Lab, stop_on_signals  # noqa: E402
from node_red import NodeRed, NodeRedError, collect, ensure_installed  # noqa: E402

TOLERANCE = 1e-6


def point_at(flow, port):
    """The flow with its Modbus client on `port`; its host must already be 127.0.0.1."""
    clients = [node for node in flow if node.get("type") == "modbus-client"]
    if not clients:
        raise ValueError("the flow has no modbus-client node")
    for client in clients:
        if client.get("clienttype") != "tcp" or client.get("tcpHost") != "127.0.0.1":
            raise ValueError(f"modbus-client {client.get('id')} is not TCP to 127.0.0.1: "
                             f"{client.get('clienttype')} {client.get('tcpHost')}")
        client["tcpPort"] = port
    return flow


def received(out_file):
    """{topic: last payload} of the complete lines collected so far."""
    last = {}
    try:
        with open(out_file, encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        return last
    for line in text.splitlines(keepends=True):
        if line.endswith("\n"):
            message = json.loads(line)
            last[message.get("topic")] = message.get("payload")
    return last


def same(got, want):
    if isinstance(got, bool) or isinstance(want, bool):
        return type(got) is type(want) and got == want
    if isinstance(got, float) or isinstance(want, float):
        return (isinstance(got, (int, float)) and
                math.isclose(got, want, rel_tol=TOLERANCE, abs_tol=0.0))
    return type(got) is type(want) and got == want


def faults(got, expected):
    """One line per tag that did not arrive, arrived with another value, or was not expected."""
    lines = [f"{tag}: missing, expected {json.dumps(want)}" for tag, want in expected.items()
             if tag not in got]
    lines += [f"{tag}: got {json.dumps(got[tag])}, expected {json.dumps(want)}"
              for tag, want in expected.items() if tag in got and not same(got[tag], want)]
    lines += [f"{tag}: not expected, got {json.dumps(value)}" for tag, value in got.items()
              if tag not in expected]
    return lines


def run_flow(cache, flow, expected, timeout, framer):
    """{tag: last value} the flow sent once every expected tag came at least once (or time ran out).
    The simulator (Modbus TCP, or `framer`'s frames over TCP) and Node-RED are stopped before it
    returns or raises."""
    function_ids = [node["id"] for node in flow if node.get("type") == "function"]
    with Lab() as lab, tempfile.TemporaryDirectory(prefix="zentriq-node-red-") as work:
        port = int(lab.simulator("--tcp", "0", *(["--framer", framer] if framer else [])))
        out_file = os.path.join(work, "collected.jsonl")
        flow = collect(point_at(flow, port), function_ids, out_file)
        with NodeRed(cache, flow, work) as node_red:
            deadline = time.monotonic() + timeout
            while not set(expected) <= set(received(out_file)) and time.monotonic() < deadline:
                time.sleep(0.2)
            got = received(out_file)
            if not set(expected) <= set(got):
                print(f"Node-RED's log:\n{node_red.tail()}", file=sys.stderr)
            return got


# The sample: one client, and per read the function node that makes each register or bit a tag.
SAMPLE_CLIENT = {
    "id": "zq-client", "type": "modbus-client", "name": "DVP", "clienttype": "tcp",
    "bufferCommands": True, "stateLogEnabled": False, "queueLogEnabled": False,
    "failureLogEnabled": True, "tcpHost": "127.0.0.1", "tcpPort": "502", "tcpType": "DEFAULT",
    "serialPort": "/dev/ttyUSB", "serialType": "RTU-BUFFERD", "serialBaudrate": "9600",
    "serialDatabits": "8", "serialStopbits": "1", "serialParity": "none",
    "serialConnectionDelay": "100", "serialAsciiResponseStartDelimiter": "0x3A", "unit_id": 1,
    "commandDelay": 1, "clientTimeout": 1000, "reconnectOnTimeout": True,
    "reconnectTimeout": 2000, "parallelUnitIdsAllowed": True}

# Read: (table, first address, count, [(tag, offset, type)]).
SAMPLE_READS = [
    ("HoldingRegister", 0x1064, 1, [("D100_u16", 0, "u16"), ("D100_i16", 0, "i16")]),
    ("HoldingRegister", 0x10C8, 2, [("D200_u32", 0, "u32"), ("D200_i32", 0, "i32"),
                                    ("D200_f32", 0, "f32")]),
    ("HoldingRegister", 0x9000, 2, [("D4096_i16", 0, "i16"), ("D4096_i32", 0, "i32")]),
    ("HoldingRegister", 0x0605, 1, [("T5_value", 0, "u16")]),
    ("Coil", 0x0800, 2, [("M0", 0, "bool"), ("M1", 1, "bool")]),
    ("Input", 0x0401, 1, [("X1", 0, "bool")]),
]

# The simulator holds each register's own address and a 1 at each odd bit address, but for the
# float 0.1 in D200-D201 and -100000 in D202-D203, low word first. D4096 (9000) is above 7FFF,
# so its signed readings are negative.
SAMPLE_EXPECTED = {
    "D100_u16": 4196, "D100_i16": 4196,
    "D200_u32": 0x3DCCCCCD, "D200_i32": 0x3DCCCCCD,
    "D200_f32": 0.10000000149011612,  # the float 0.1 as single precision holds it
    "D4096_i16": 36864 - 65536, "D4096_i32": 36864 + 36865 * 65536 - 2**32,
    "T5_value": 1541,
    "M0": False, "M1": True, "X1": True,
}


def product_decoder(command):
    """The decoder the function nodes of zentriq-lookup's flows run after their tag list: the sample
    runs the product's own, so a change to it is checked here too."""
    done = subprocess.run(command + ["--batch", "-", "--format", "node-red", "--host", "127.0.0.1"],
                          input=b"D100\n", capture_output=True, timeout=60)
    if done.returncode != 0:
        raise ValueError(f"zentriq-lookup --format node-red: exit status {done.returncode}")
    func = next(node["func"] for node in json.loads(done.stdout) if node.get("type") == "function")
    head, decoder = func.split("\n", 1)
    if not head.startswith("const tags = "):
        raise ValueError(f"a function node that does not begin with its tags: {head}")
    return decoder


def sample_flow(decoder):
    flow = [{"id": "zq-tab", "type": "tab", "label": "DVP tags", "disabled": False, "info": ""},
            SAMPLE_CLIENT]
    for n, (table, address, count, tags) in enumerate(SAMPLE_READS):
        read_id, function_id, y = f"zq-read-{n}", f"zq-tags-{n}", 40 + 60 * n
        flow.append({
            "id": read_id, "type": "modbus-read", "z": "zq-tab", "name": f"{table} {address}",
            "topic": "", "showStatusActivities": False, "logIOActivities": False,
            "showErrors": True, "unitid": "", "dataType": table, "adr": str(address),
            "quantity": str(count), "rate": "250", "rateUnit": "ms", "delayOnStart": False,
            "startDelayTime": "", "server": SAMPLE_CLIENT["id"], "useIOFile": False, "ioFile": "",
            "useIOForPayload": False, "emptyMsgOnFail": False, "x": 150, "y": y,
            "wires": [[function_id], []]})
        flow.append({
            "id": function_id, "type": "function", "z": "zq-tab",
            "name": ", ".join(tag for tag, _, _ in tags),
            "func": f"const tags = {json.dumps(tags)};\n{decoder}", "outputs": 1, "timeout": 0,
            "noerr": 0, "initialize": "", "finalize": "", "libs": [], "x": 400, "y": y,
            "wires": [[]]})
    return flow


# Expectations spoiled one way each, every one of which the check must report on the sample's
# values, and the one it must not.
SPOILED = [
    ("a whole number off by one", {"D100_u16": 4197}, 1),
    ("a float off by 1e-5 relatively", {"D200_f32": SAMPLE_EXPECTED["D200_f32"] * (1 + 1e-5)}, 1),
    ("a float off by 1e-8 relatively", {"D200_f32": SAMPLE_EXPECTED["D200_f32"] * (1 + 1e-8)}, 0),
    ("a boolean expected as a number", {"M1": 1}, 1),
    ("a number expected as a float", {"T5_value": 1541.0}, 0),
    ("a tag the flow does not send", {"D300_u16": 4396}, 1),
]


def check_the_check(got):
    """Lines for each spoiled expectation the check did not answer as it should; what it says of
    the sample itself is left out, that is reported once already."""
    wrong = []
    unspoiled = faults(got, SAMPLE_EXPECTED)
    for what, change, count in SPOILED:
        found = [line for line in faults(got, dict(SAMPLE_EXPECTED, **change))
                 if line not in unspoiled]
        if len(found) != count:
            wrong.append(f"the check on {what} reported {found or 'nothing'}")
    return wrong


# A tag list as an engineer exports it, and what Node-RED must deliver for each tag from the flow
# zentriq-lookup writes for it: the simulator holds each register's own address (but for its
# 32-bit values), and 1 at each odd bit address. A row whose type its device cannot hold, and a 32-bit counter, are left out.
LOOKUP_LIST = ("Tag;Device;Type\r\nLevel;D100;\r\nFlow;D200;f32\r\nTotal;D202;i32\r\n"
               "Offset;D4096;\r\nTimer;T5;\r\nTimer done;T5;bool\r\nRun;M1;\r\nIn;X1;\r\n"
               "Bad;M0;f32\r\nCount;C200;\r\n")
LOOKUP_EXPECTED = {
    "Level": 4196, "Flow": SAMPLE_EXPECTED["D200_f32"], "Total": -100000,
    "Offset": 36864 - 65536, "Timer": 1541, "Timer done": True, "Run": True, "In": True,
}
LOOKUP_REFUSED = ["zentriq-lookup: line 10: M0:f32: M0 is a bit; f32 is for registers",
                  "zentriq-lookup: line 11: C200: C200 holds a 32-bit counter value whose packing "
                  "is not established: left out"]


def lookup_flow(command, framer):
    """The flow zentriq-lookup writes for LOOKUP_LIST (`framer`'s frames over TCP, if given); a
    fault when it does not say what it left out and why."""
    mode = ["--mode", framer] if framer else []
    done = subprocess.run(command + ["--batch", "-", "--header", "--column", "Device",
                                     "--name-column", "Tag", "--type-column", "Type",
                                     "--format", "node-red", "--host", "127.0.0.1", *mode],
                          input=LOOKUP_LIST.encode(), capture_output=True, timeout=60)
    err = done.stderr.decode("utf-8", "replace")
    if done.returncode != 1 or err.splitlines() != LOOKUP_REFUSED:
        raise ValueError(f"zentriq-lookup --format node-red: exit status {done.returncode}, "
                         f"expected 1 and the rows left out said:\n{err}")
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cache", required=True, help="where Node-RED is installed (once)")
    parser.add_argument("--flow", help="the flow, as Node-RED imports it")
    parser.add_argument("--expect", help="JSON object: tag -> value")
    parser.add_argument("--sample", action="store_true", help="check the flow written here, with PROGRAM's decoder")
    parser.add_argument("--lookup", nargs="+", metavar="PROGRAM",
                        help="[WRAPPER...] zentriq-lookup: check the flow it writes for a tag list")
    parser.add_argument("--framer", choices=["rtu"],
                        help="RTU frames over TCP rather than Modbus TCP")
    parser.add_argument("--timeout", type=float, default=60,
                        help="seconds to wait for every tag (default 60)")
    args = parser.parse_args()
    if (args.sample or args.lookup) and (args.flow or args.expect) or (
            not args.lookup and not (args.flow and args.expect)):
        parser.error("give --lookup PROGRAM (with --sample or not), or both --flow and --expect")
    stop_on_signals()
    try:
        if args.sample:
            flow, expected = sample_flow(product_decoder(args.lookup)), SAMPLE_EXPECTED
        elif args.lookup:
            flow, expected = lookup_flow(args.lookup, args.framer), LOOKUP_EXPECTED
        else:
            with open(args.flow, encoding="utf-8") as f:
                flow = json.load(f)
            with open(args.expect, encoding="utf-8") as f:
                expected = json.load(f)
        ensure_installed(args.cache)
        got = run_flow(args.cache, flow, expected, args.timeout, args.framer)
    except (OSError, ValueError, HarnessError, NodeRedError) as error:
        print(f"check_node_red: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("check_node_red: interrupted", file=sys.stderr)
        return 130
    lines = faults(got, expected)
    if args.sample:
        lines += check_the_check(got)
    for line in lines:
        print(line)
    if not lines:
        print(f"{len(expected)} tags as expected")
    return 1 if lines else 0


if __name__ == "__main__":
    sys.exit(main())
