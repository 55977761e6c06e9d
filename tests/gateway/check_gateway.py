#!/usr/bin/python3
"""End-to-end checks of zentriq-gateway: Modbus TCP clients (mbpoll, zentriq-poll, and raw ones
written here) on 127.0.0.1, the gateway, and the simulated controller of tests/poll on a pty pair
speaking Modbus ASCII or RTU, directly or through the relay that spoils replies:

    check_gateway.py GATEWAY POLL [--wine WRAPPER...]

POLL is zentriq-poll, a client of the gateway here. With --wine, both programs are the Windows
build, run by WRAPPER (such as wine-run and its prefix), under a lighter load. Each check prints
what it found; every failed one is listed at the end, and then the script exits 1."""

import argparse
import os
import signal
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "poll"))

from checks_clients import IDLE, MAX_CLIENTS, check_hostile_clients  # noqa: E402
from checks_faults import (ROWS, check_dead_station, check_line_discipline,  # noqa: E402
                          check_line_pulled, check_relay_faults)
from checks_forwarding import (check_answered_without_line, check_host,  # noqa: E402
                               check_load, check_log_levels, check_mbpoll, check_poll)
from checks_lifecycle import (check_allow, check_listen_failures,  # noqa: E402
                              check_sigterm_during_load)
from gateway_process import COUNTERS, Gateway  # noqa: E402
from harness import HarnessError, Lab, stop_on_signals  # noqa: E402
from wine_ports import WinePorts, WinePortsError  # noqa: E402

MODES = ("ascii", "rtu")
# Requests per client of the 64-client load. A pty moves bytes at no baud rate, so the line goes at
# the simulator's own pace: 64 x 500 takes 12 to 25 s on a 2-core machine shared with a build. RTU
# gets 150 a client, so that the whole script stays well within 3 minutes there.
LOAD = {"ascii": 500, "rtu": 150}
# Under Wine, a lighter load: 8 clients.
WINE_CLIENTS, WINE_LOAD = 8, 100
# The faults whose effect depends on the framing (a checksum, a station byte, a reply's timing)
# are checked again in RTU, the slow controller once.
RTU_ROWS = [row for row in ROWS if row.fault in ("corrupt", "other-slave", "delay") or
            (row.fault, row.delay) == ("slow", 240)]


class Checker:
    def __init__(self, gateway, poll, wrapper):
        self.command = wrapper + [os.path.abspath(gateway)]
        self.poll = wrapper + [os.path.abspath(poll)]
        self.native = not wrapper
        self.sanitized = False
        self.faults = []

    def found(self, name, text):
        print(f"{name}: {text}", flush=True)

    def expect(self, name, condition, detail=""):
        if not condition:
            self.faults.append(f"{name}: {detail}")
            print(f"  FAIL {name}: {detail}", flush=True)
        return condition


def forwarding(c, lab, ports, mode, tool_end):
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, "--max-clients", "80",
                      name="gateway-" + mode)
    check_mbpoll(c, gateway.port, mode)
    check_poll(c, gateway.port, mode)
    if c.native:
        check_load(c, gateway.port, mode, 64, LOAD[mode])
        counted = gateway.counters()
        c.found(f"counters on SIGUSR1 ({mode})", counted.string if counted else "none")
        c.expect(f"counters on SIGUSR1 ({mode})", counted is not None and
                 int(counted[1]) >= 64 * LOAD[mode], gateway.text()[-300:])
        # Ctrl-C ends it as SIGTERM does.
        sig = signal.SIGTERM if mode == "ascii" else signal.SIGINT
        since = gateway.mark()
        code = gateway.stop(sig)
        ended = gateway.wait_for(COUNTERS, 1, since)
        c.found(f"{sig.name} when idle ({mode})", f"exit status {code}, counters: "
                f"{ended.string if ended else None}")
        c.expect(f"{sig.name} when idle ({mode})", code == 0 and ended is not None,
                 f"exit status {code}: {gateway.text(since)[-300:]}")
    else:
        check_load(c, gateway.port, mode, WINE_CLIENTS, WINE_LOAD)
    lab.stop_named("gateway-" + mode)


def run_checks(c, lab, ports):
    ends = {}
    for mode in MODES:
        tool_end, simulator_end = lab.pty_pair(mode)
        lab.simulator("--serial", simulator_end, "--framer", mode, name="simulator-" + mode)
        ends[mode] = tool_end
    for mode in MODES:
        forwarding(c, lab, ports, mode, ends[mode])
    check_answered_without_line(c, lab, ports)
    check_log_levels(c, lab, ports, ends["ascii"])

    hostile = Gateway(lab, c.command, ports.name(ends["ascii"]), "ascii", "--max-clients",
                      str(MAX_CLIENTS), "--idle-timeout", str(IDLE), "--stats-interval", "1",
                      name="gateway-hostile")
    start = time.monotonic()
    check_hostile_clients(c, hostile)
    printed, seconds = hostile.count(COUNTERS), time.monotonic() - start
    c.found("--stats-interval 1", f"{printed} counters lines in {seconds:.1f} s")
    c.expect("--stats-interval 1", seconds - 2 <= printed <= seconds + 1, hostile.text()[-300:])
    lab.stop_named("gateway-hostile")
    check_allow(c, lab, ports, ends["ascii"])

    for mode in MODES:
        check_line_discipline(c, lab, ports, mode, ends[mode])
    if c.native:  # what they check is the gateway's own logic, the same under Wine
        check_dead_station(c, lab, ports, "ascii", ends["ascii"])
        check_host(c, lab)
    check_relay_faults(c, lab, ports, "ascii", ends["ascii"])
    check_relay_faults(c, lab, ports, "rtu", ends["rtu"], RTU_ROWS)
    check_line_pulled(c, lab, ports, "ascii", ends["ascii"])
    check_sigterm_during_load(c, lab, ports, "rtu", ends["rtu"])
    check_listen_failures(c, lab, ports)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway")
    parser.add_argument("poll")
    parser.add_argument("--wine", nargs="+", default=[], metavar="WRAPPER")
    parser.add_argument("--sanitized", action="store_true",
                        help="the programs run under AddressSanitizer: memory is no measure")
    args = parser.parse_args()
    c = Checker(args.gateway, args.poll, args.wine)
    c.sanitized = args.sanitized
    stop_on_signals()
    start = time.monotonic()
    try:
        with Lab() as lab, WinePorts(c.command) as ports:
            run_checks(c, lab, ports)
    except (HarnessError, WinePortsError) as error:
        print(f"check_gateway: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as reason:
        print(f"check_gateway: interrupted ({reason})", file=sys.stderr)
        return 1
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "zentriq-gateway: every check passed",
          f"({time.monotonic() - start:.0f} s)")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
