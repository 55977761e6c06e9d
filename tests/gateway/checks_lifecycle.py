"""How the gateway starts where it may not listen, and how it ends on SIGTERM in the middle of a
load: every request it had taken answered (the one on the line with its reply, the queued ones
with 0A), its counters printed, exit status 0."""

import asyncio
import os
import re
import signal
import socket
import subprocess
import time

import mbap
from gateway_process import COUNTERS, Gateway
from load import Control, Plan, load

UNPRIVILEGED = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


def run_once(command, timeout=60):
    done = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)
    return done.returncode, done.stderr


def serial_options(port):
    return ["--port", port, "--mode", "ascii", "--line", "8N1"]


def check_listen_failures(c, lab, ports):
    tool_end, _ = lab.pty_pair("listen")
    nope = ports.name(lab.path("nope"))
    code, err = run_once(c.command + serial_options(nope) + ["--listen", "127.0.0.1:0"])
    name = "a port that cannot be opened"
    c.found(name, f"exit status {code}, {err.count(chr(10))} lines: {err.strip()[:200]}")
    c.expect(name, code == 2 and err.count("\n") == 1 and
             err.startswith(f"zentriq-gateway: cannot open {nope}: "), err)

    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        port = taken.getsockname()[1]
        code, err = run_once(c.command + serial_options(ports.name(tool_end)) +
                             ["--listen", f"127.0.0.1:{port}"])
    name = "a port in use"
    c.found(name, f"exit status {code}, {err.count(chr(10))} lines: {err.strip()[:200]}")
    c.expect(name, code == 2 and err.count("\n") == 1 and err.startswith(
        f"zentriq-gateway: cannot listen on 127.0.0.1:{port}: the address is in use;"), err)

    name = "port 502 as an unprivileged user"
    if not c.native or os.geteuid() != 0:
        c.found(name, "skipped: " + ("a Windows program has no such rule" if not c.native else
                                     "not run as root, so no other user to become"))
    else:
        # The serial side is not what is checked: the pty itself, out of the test's own folder.
        device = os.path.realpath(tool_end)
        os.chmod(device, 0o666)
        code, err = run_once(UNPRIVILEGED + c.command + serial_options(device) +
                             ["--listen", "127.0.0.1:502"])
        c.found(name, f"exit status {code}, {err.count(chr(10))} lines: {err.strip()[:300]}")
        if code in (126, 127):
            c.found(name, "skipped: the program cannot be run as nobody from where it is built")
        else:
            c.expect(name, code == 2 and err.count("\n") == 1 and
                     err.startswith("zentriq-gateway: cannot listen on 127.0.0.1:502: ") and
                     re.search(r"capabilit|cap_net_bind_service", err) is not None, err)
    lab.stop_pair("listen")


def check_sigterm_during_load(c, lab, ports, mode, simulator_end):
    """A line where each reply takes 50 ms keeps a queue of requests; SIGTERM comes while 16
    clients each have 4 of them waiting."""
    name = f"SIGTERM during load ({mode})"
    if not c.native:
        c.found(name, "skipped: a Windows program under Wine gets no SIGTERM")
        return
    tool_end, relay_end = lab.pty_pair("term")
    lab.relay("--serial", relay_end, simulator_end, "--framer", mode, "--fault", "delay",
              "--delay", "50", "--times", "0", name="relay-term")
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, name="gateway-term")
    control = Control()
    stopped = {}

    async def terminate(tally):
        await asyncio.sleep(1.0)
        control.stop_sending = True
        await asyncio.sleep(0.3)  # what the clients sent has reached the gateway
        stopped["at"] = time.monotonic()
        gateway.process.send_signal(signal.SIGTERM)

    tally, _, _ = asyncio.run(load(gateway.port, 16, Plan(10 ** 6, depth=4), control=control,
                                   during=terminate))
    code = gateway.stop(timeout=30)
    took = time.monotonic() - stopped["at"]
    counters = COUNTERS.search(gateway.text())
    c.found(name, f"exit status {code}, its clients done {took:.2f} s after SIGTERM; "
            f"{tally.summary()}; counters: "
            f"{counters[0] if counters else None}")
    c.expect(name, code == 0, f"exit status {code}")
    c.expect(name, tally.sound((mbap.PATH_UNAVAILABLE,)) and
             tally.exceptions[mbap.PATH_UNAVAILABLE] > 0,
             "every request taken must be answered, in order, the queued ones with 0A: " +
             tally.detail())
    c.expect(name, counters is not None, f"no counters line: {gateway.text()[-400:]}")
    lab.stop_named("relay-term")
    lab.stop_pair("term")


# (--allow, whether a client on 127.0.0.1 is served)
ALLOW_ROWS = [("10.0.0.0/8", False), ("192.168.10.0/24,127.0.0.0/8", True), ("127.0.0.1", True),
              ("127.0.0.2", False)]


def check_allow(c, lab, ports, tool_end):
    for allow, served in ALLOW_ROWS:
        name = f"--allow {allow}"
        gateway = Gateway(lab, c.command, ports.name(tool_end), "ascii", "--allow", allow,
                          name="gateway-allow")
        since = gateway.mark()
        reply = mbap.exchange(gateway.port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1))
        refused = gateway.wait_for("refused: not in --allow", 0 if served else 2, since)
        lab.stop_named("gateway-allow")
        got = mbap.registers_of(reply[1]) if reply else None
        c.found(name, f"a client on 127.0.0.1 read {got}; refusal logged: "
                      f"{refused.string if refused else None}")
        c.expect(name, (got == [4196] and refused is None) if served else
                 (reply is None and refused is not None), f"reply {reply}")
