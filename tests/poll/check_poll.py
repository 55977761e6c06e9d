#!/usr/bin/python3
"""End-to-end checks of zentriq-poll against a simulated controller (simulator.py, a pymodbus
server shaped like the controller's map), over Modbus ASCII and RTU on pty pairs, over Modbus TCP
and over ASCII and RTU frames on TCP (as through a serial device server) on 127.0.0.1, directly and
through a relay that spoils replies (relay.py):

    check_poll.py [WRAPPER...] PROGRAM

where WRAPPER is the command that runs PROGRAM (such as Wine with its arguments). Every failed
check is listed, then the script exits 1. The checks themselves are in poll_reading.py (a sound
line) and poll_faults.py (a faulty one)."""

import argparse
import os
import sys

from harness import HarnessError, Lab, stop_on_signals
from wine_ports import WinePorts
import poll_common
from poll_common import ALL, Checker, OVER_TCP, SERIAL, framing, on_host, on_pty
from poll_reading import (check_batch, check_exception, check_formats, check_line_report,
                          check_measured_plan, check_plan, check_read, check_simulator,
                          check_typed, check_verbose, check_watch_count, check_watch_terminal,
                          check_write)
from poll_faults import (check_connection_errors, check_faults, check_rtu_silence,
                         check_segmented_replies, check_silent_controller, check_stops,
                         check_watch_recovery)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", nargs="+", help="[WRAPPER...] PROGRAM")
    args = parser.parse_args()
    c = Checker(args.command[:-1] + [os.path.abspath(args.command[-1])])
    stop_on_signals()
    try:
        with Lab() as lab, WinePorts(c.command) as ports:
            poll_common.PORTS = ports
            connections, targets = {}, {}
            for transport in SERIAL:
                tool_end, simulator_end = lab.pty_pair(transport)
                lab.simulator("--serial", simulator_end, "--framer", transport, "--missing",
                              "D4096-D9999", name="simulator-" + transport)
                check_simulator(transport, tool_end)
                connections[transport] = on_pty(tool_end, transport)
                targets[transport] = tool_end
            for transport in ("tcp",) + OVER_TCP:
                framer = [] if transport == "tcp" else ["--framer", framing(transport)]
                port = lab.simulator("--tcp", "0", *framer, "--missing", "D4096-D9999",
                                     name="simulator-" + transport)
                check_simulator(transport, port)
                connections[transport] = on_host(port, transport)
                targets[transport] = port

            for transport in ALL:
                check_read(c, transport, connections[transport])
                check_verbose(c, transport, connections[transport])
                check_exception(c, transport, connections[transport])
                check_faults(c, lab, transport, targets[transport])
            check_formats(c, connections["tcp"])
            check_plan(c)
            check_batch(c, connections["tcp"])
            check_line_report(c, connections["tcp"])
            check_measured_plan(c, connections["ascii"])
            check_watch_count(c, connections["tcp"])
            check_watch_terminal(c, connections["tcp"])
            check_connection_errors(c, lab, targets["ascii"])
            check_rtu_silence(c, lab, targets["rtu"])
            check_segmented_replies(c, lab, targets)
            check_silent_controller(c, lab)
            check_stops(c, lab, connections["tcp"])
            check_watch_recovery(c, lab, connections["ascii"])
            for transport in ALL:  # last: the other checks read the initial values
                check_write(c, transport, connections[transport])
                check_typed(c, transport, connections[transport])
    except HarnessError as error:
        print(f"check_poll: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as reason:
        print(f"check_poll: interrupted ({reason})", file=sys.stderr)
        return 1
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "zentriq-poll: every check passed")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
