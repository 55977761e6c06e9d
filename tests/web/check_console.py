#!/usr/bin/python3
"""End-to-end checks of zentriq-gateway's browser console (--web): headless Chromium on the page,
raw HTTP and WebSocket clients at its door, and a Modbus TCP client reading through the gateway
all along, in front of the simulated controller of tests/poll on a pty (RTU) or as Modbus TCP:

    check_console.py GATEWAY POLL [--artifacts DIR]

POLL is zentriq-poll, a client of the gateway here. The pictures of the console's views and the
logs of the run go to DIR (default: a new folder under the system's temporary one), which is kept.
Each check prints what it found; every failed one is listed at the end, and then the script exits
1."""

import argparse
import os
import resource
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "gateway"), os.path.join(HERE, "..", "poll")]

from check_gateway import Checker  # noqa: E402
from console_browser import check_browser  # noqa: E402
from console_guard import check_page_files, check_password, check_write_refusals  # noqa: E402
from console_hostile import EXTRA_HOST, check_allow, check_hostile, check_security  # noqa: E402
from console_lab import ConsoleLab, Controller, start_console  # noqa: E402
from harness import HarnessError, stop_on_signals  # noqa: E402


def run_checks(c, lab):
    for kind in ("rtu", "tcp"):
        controller = Controller(lab, kind)
        check_browser(c, lab, controller)
        if kind == "rtu":
            gateway = start_console(lab, c.command, controller, "--web-host", EXTRA_HOST,
                                    name="gateway-web-hostile")
            check_security(c, gateway)
            check_page_files(c, gateway.web_port)
            check_hostile(c, gateway)
            lab.stop_named("gateway-web-hostile")
            check_allow(c, lab, controller, c.command)
            check_write_refusals(c, lab, controller)
        else:
            check_password(c, lab, controller)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway")
    parser.add_argument("poll")
    parser.add_argument("--artifacts", help="where the pictures and logs are kept")
    args = parser.parse_args()
    artifacts = os.path.abspath(args.artifacts or tempfile.mkdtemp(prefix="zentriq-web-"))
    # A thousand connections at once, from here, to a gateway that inherits the limit.
    _, most = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (most, most))
    c = Checker(args.gateway, args.poll, [])
    stop_on_signals()
    start = time.monotonic()
    try:
        with ConsoleLab(artifacts) as lab:
            print(f"artifacts: {artifacts}", flush=True)
            run_checks(c, lab)
    except HarnessError as error:
        print(f"check_console: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as reason:
        print(f"check_console: interrupted ({reason})", file=sys.stderr)
        return 1
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "the gateway's console: every check passed",
          f"({time.monotonic() - start:.0f} s; pictures and logs in {artifacts})")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
