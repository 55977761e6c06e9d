#!/usr/bin/python3
"""The simulated controller of tests/poll on a pty, with a second door: the same devices served
as Modbus TCP on 127.0.0.1, so that a test can change a value inside the controller while the
gateway holds the serial line, as an operator's panel would.

    twin_simulator.py --serial PATH --framer ascii|rtu

One line "ready PATH PORT" on stdout once both are served; SIGTERM ends it with status 0."""

import argparse
import asyncio
import logging
import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "poll"))

from pymodbus.framer.ascii_framer import ModbusAsciiFramer  # noqa: E402
from pymodbus.framer.rtu_framer import ModbusRtuFramer  # noqa: E402
from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer  # noqa: E402

from simulator import build_context  # noqa: E402


async def serve(args):
    context = build_context(1, [])
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    framer = {"ascii": ModbusAsciiFramer, "rtu": ModbusRtuFramer}[args.framer]
    serial = ModbusSerialServer(context, framer=framer, port=args.serial, baudrate=9600,
                                bytesize=8, parity="N", stopbits=1, auto_reconnect=True,
                                reconnect_delay=0.1)
    await serial.start()
    if serial.transport is None:
        raise OSError(f"cannot open {args.serial}")
    tasks = [asyncio.create_task(serial.serve_forever())]
    panel = ModbusTcpServer(context, address=("127.0.0.1", 0), allow_reuse_address=True)
    tasks.append(asyncio.create_task(panel.serve_forever()))
    await panel.serving
    port = panel.server.sockets[0].getsockname()[1]
    print("ready", args.serial, port, flush=True)
    await stop.wait()
    await panel.shutdown()
    await serial.shutdown()
    for task in tasks:
        task.cancel()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serial", required=True, metavar="PATH")
    parser.add_argument("--framer", choices=["ascii", "rtu"], required=True)
    args = parser.parse_args()
    logging.getLogger().setLevel(logging.CRITICAL)
    try:
        asyncio.run(serve(args))
    except OSError as error:
        print(f"twin_simulator: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
