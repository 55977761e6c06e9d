#!/usr/bin/python3
"""A simulated DVP controller: a Modbus server (pymodbus) that answers where the controller has a
device and nowhere else.

    simulator.py (--tcp PORT [--framer ascii|rtu] | --serial PATH --framer ascii|rtu) [--slave N]
                 [--missing RANGE]...

Coils at S, Y, T, M (both segments) and C; discrete inputs at X and at every coil address (function
02 reads the same bits as 01, so a coil written shows on 02 too); holding registers at T, C and D
(both segments). Any other address answers exception 02; function 04 finds no input register and
answers exception 02 as well. `--missing D4096-D9999` leaves out a device range, as a smaller model
lacks it.

Initial values, chosen to be written out literally in tests:
    every register holds its own address:  D100 (1064) = 4196, T5 (0605) = 1541, C200 (0EC8) = 3784
    every bit is 1 at an odd address:      M0 = 0, M1 = 1, X0 = 0, X17 = 1, Y0 = 0, T5 = 1, C200 = 0
    but for two 32-bit values, low word first: D200:f32 = 0.1, D202:i32 = -100000

--tcp listens on 127.0.0.1 (0 picks a free port), speaking Modbus TCP or, with --framer, the serial
frames as a serial device server passes them on; --serial opens one end of a pty pair at 9600 8N1
and opens it again when the pair comes back after it went away. One line "ready <port-or-path>" on
stdout once requests can really be served; SIGTERM ends it with status 0."""

import argparse
import asyncio
import logging
import re
import signal
import sys

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext, ModbusSparseDataBlock
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer

COIL, INPUT, REGISTER = "coil", "discrete input", "holding register"

# The controller's map: device letter, first and last number, table, first address. X and Y are
# numbered in octal. T and C have a contact (coil) and a value (register) at the same address.
SEGMENTS = [
    ("S", 0, 1023, COIL, 0x0000),
    ("X", 0, 0o377, INPUT, 0x0400),
    ("Y", 0, 0o377, COIL, 0x0500),
    ("T", 0, 255, COIL, 0x0600),
    ("T", 0, 255, REGISTER, 0x0600),
    ("M", 0, 1535, COIL, 0x0800),
    ("M", 1536, 4095, COIL, 0xB000),
    ("C", 0, 255, COIL, 0x0E00),
    ("C", 0, 255, REGISTER, 0x0E00),
    ("D", 0, 4095, REGISTER, 0x1000),
    ("D", 4096, 9999, REGISTER, 0x9000),
]
OCTAL = "XY"


def parse_device(text):
    """(letter, number) of a device written as the controller writes it, such as X17 or D100."""
    match = re.fullmatch(r"([SXYTMCD])([0-9]+)", text.strip().upper())
    if not match or (match[1] in OCTAL and re.search("[89]", match[2])):
        raise ValueError(f"{text!r} is not a device")
    return match[1], int(match[2], 8 if match[1] in OCTAL else 10)


def addresses_of(letter, first, last):
    """{table: set of addresses} of the devices letter+first .. letter+last that have one."""
    found = {COIL: set(), INPUT: set(), REGISTER: set()}
    for seg_letter, seg_first, seg_last, table, address in SEGMENTS:
        if seg_letter == letter:
            for number in range(max(first, seg_first), min(last, seg_last) + 1):
                found[table].add(address + number - seg_first)
    return found


def device_range(text):
    """{table: addresses} of a range such as D4096-D9999, or of one device."""
    first, _, last = text.partition("-")
    letter, low = parse_device(first)
    last_letter, high = parse_device(last) if last else (letter, low)
    if last_letter != letter or high < low:
        raise ValueError(f"{text!r} is not a range of devices")
    return addresses_of(letter, low, high)


class Devices(ModbusSparseDataBlock):
    """A block that answers only at `addresses`, its values in `store`, a dict another block may
    share: the coils and the discrete inputs are the same bits."""

    def __init__(self, store, addresses):
        super().__init__()
        self.values = store
        self.addresses = frozenset(addresses)
        self.default_value = dict(store)
        self.address = min(self.addresses, default=None)

    def validate(self, address, count=1):
        return count > 0 and all(a in self.addresses for a in range(address, address + count))


# D200-D201 hold the float 0.1 (0x3DCCCCCD), D202-D203 the integer -100000 (0xFFFE7960).
SEEDED = {0x10C8: 0xCCCD, 0x10C9: 0x3DCC, 0x10CA: 0x7960, 0x10CB: 0xFFFE}


def build_context(slave, missing):
    tables = {COIL: set(), INPUT: set(), REGISTER: set()}
    for _, first, last, table, address in SEGMENTS:
        tables[table].update(range(address, address + last - first + 1))
    for text in missing:
        for table, gone in device_range(text).items():
            tables[table] -= gone
    bits = {a: a % 2 == 1 for a in tables[COIL] | tables[INPUT]}
    registers = {a: a for a in tables[REGISTER]}
    # 32-bit values as the controller keeps them, low word at the lower address.
    registers.update((a, w) for a, w in SEEDED.items() if a in tables[REGISTER])
    store = ModbusSlaveContext(
        co=Devices(bits, tables[COIL]), di=Devices(bits, tables[COIL] | tables[INPUT]),
        hr=Devices(registers, tables[REGISTER]), ir=Devices({}, ()), zero_mode=True)
    return ModbusServerContext(slaves={slave: store}, single=False)


async def serve(args):
    context = build_context(args.slave, args.missing)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    framer = {"ascii": ModbusAsciiFramer, "rtu": ModbusRtuFramer, None: None}[args.framer]
    if args.tcp is not None:
        server = ModbusTcpServer(context, framer=framer, address=("127.0.0.1", args.tcp),
                                 allow_reuse_address=True)
        task = asyncio.create_task(server.serve_forever())
        await server.serving
        port = server.server.sockets[0].getsockname()[1]
        # A connection accepted is the proof that the port is open, not only bound.
        _, writer = await asyncio.open_connection("127.0.0.1", port)
        writer.close()
        await writer.wait_closed()
        where = str(port)
    else:
        server = ModbusSerialServer(context, framer=framer, port=args.serial, baudrate=9600,
                                    bytesize=8, parity="N", stopbits=1, auto_reconnect=True,
                                    reconnect_delay=0.1)
        await server.start()  # raises when the port cannot be opened
        if server.transport is None:
            raise OSError(f"cannot open {args.serial}")
        task = asyncio.create_task(server.serve_forever())
        where = args.serial
    print("ready", where, flush=True)
    await stop.wait()
    await server.shutdown()
    task.cancel()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--tcp", type=int, metavar="PORT")
    where.add_argument("--serial", metavar="PATH")
    parser.add_argument("--framer", choices=["ascii", "rtu"])
    parser.add_argument("--slave", type=int, default=1)
    parser.add_argument("--missing", action="append", default=[], metavar="RANGE")
    parser.add_argument("--debug", action="store_true", help="pymodbus's own log on stderr")
    args = parser.parse_args()
    if args.serial and not args.framer:
        parser.error("--serial needs --framer")
    try:
        for text in args.missing:
            device_range(text)
    except ValueError as error:
        parser.error(str(error))
    logging.getLogger().setLevel(logging.DEBUG if args.debug else logging.CRITICAL)
    try:
        asyncio.run(serve(args))
    except OSError as error:
        print(f"simulator: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
