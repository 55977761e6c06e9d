"""The gateway on a line that goes wrong: replies spoiled by the relay (tests/poll/relay.py), a
controller slower than the timeout, and the pty pair pulled away and brought back, all under load.
Whatever the line does, a client gets the right value or the exception that names what happened
(0B: no answer, 0A: the line is down), never a wrong value, and the gateway recovers by itself."""

import asyncio
import threading
import time

import mbap
from gateway_process import Gateway
from load import Control, Plan, load, run_load

FAST = ["--timeout", "200", "--retries", "2"]
NO_ANSWER = (mbap.NO_RESPONSE,)
# How long a station that failed may take to be tried again: the back-off of a short failure.
RECOVERY_SECONDS = 12


class Row:
    """A fault the relay puts on the replies, and the load it is checked under."""

    def __init__(self, fault, times, after=20, delay=0, mix="mixed", clients=8, requests=40,
                 most_tries=None):
        self.fault, self.times, self.after, self.delay = fault, times, after, delay
        self.mix, self.clients, self.requests = mix, clients, requests
        self.most_tries = most_tries  # tries that may reach the controller once it is spoiled

    def name(self, mode):
        return (f"{mode} {self.fault} x{self.times or 'all'} after {self.after}"
                + (f", {self.delay} ms" if self.delay else ""))


ROWS = [
    Row("drop", 3),
    Row("delay", 2, delay=300),  # past the timeout: the late reply must not answer the next one
    Row("corrupt", 3),
    Row("other-slave", 3),
    # Two requests in a row unanswered mark the station: then 0B at once, but for one request
    # tried each back-off interval (1 s, then 2 s), 3 tries each.
    Row("silent", 0, after=30, most_tries=12),
    # A slow controller: every reply later than the timeout, one request served at a time; each
    # client reads one register at a time, so a late reply handed on shows as a wrong value.
    # Each request takes two tries and the wait for the second try's reply: half a second.
    Row("slow", 0, after=0, delay=240, mix="same-shape", clients=4, requests=4),
    Row("slow", 0, after=0, delay=300, mix="same-shape", clients=4, requests=4),
]


def relay_options(row):
    return ["--fault", row.fault, "--times", str(row.times), "--after", str(row.after),
            "--delay", str(row.delay)]


CLEAN = ["--fault", "drop", "--times", "1", "--after", "1000000000"]


def check_relay_faults(c, lab, ports, mode, simulator_end, rows=ROWS):
    """`simulator_end`: the free end of the simulator's pty pair."""
    tool_end, relay_end = lab.pty_pair("relay-" + mode)
    place = ["--serial", relay_end, simulator_end, "--framer", mode]
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, *FAST, "--max-clients", "80",
                      name="gateway-faults-" + mode)
    for number, row in enumerate(rows):
        name = row.name(mode)
        relay = f"relay-{mode}-{number}"
        lab.relay(*place, *relay_options(row), name=relay)
        # The relay cuts an RTU reply after 20 ms of silence: each one costs that much more.
        requests = row.requests if mode == "ascii" else max(4, row.requests // 3)
        tally, seconds, _ = asyncio.run(load(gateway.port, row.clients,
                                             Plan(requests, mix=row.mix, depth=2)))
        spoiled = lab.log(relay).count("relay: reply")
        lab.stop_named(relay)
        c.found(name, f"{spoiled} replies spoiled; {tally.summary()}; {seconds:.1f} s")
        c.expect(name, tally.sound(NO_ANSWER), tally.detail())
        c.expect(name, spoiled > 0, "the relay spoiled nothing")
        c.expect(name, row.most_tries is None or spoiled <= row.most_tries,
                 f"{spoiled} tries reached a controller that had stopped answering, at most "
                 f"{row.most_tries} expected")
        lab.relay(*place, *CLEAN, name=relay + "-clean")
        check_recovered(c, gateway.port, f"{name}, then a sound line")
        lab.stop_named(relay + "-clean")
    lab.stop_named("gateway-faults-" + mode)
    lab.stop_pair("relay-" + mode)


def first_good_read(port, within):
    """Seconds until a read through the gateway gave the right values, or None."""
    start = time.monotonic()
    while time.monotonic() - start < within:
        reply = mbap.exchange(port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 10))
        if reply and mbap.registers_of(reply[1]) == [4196 + i for i in range(10)]:
            return time.monotonic() - start
        time.sleep(0.1)
    return None


def check_recovered(c, port, name):
    took = first_good_read(port, RECOVERY_SECONDS)
    if not c.expect(name, took is not None, f"no good read within {RECOVERY_SECONDS} s"):
        return
    tally, _, _ = asyncio.run(load(port, 4, Plan(20, depth=2)))
    c.found(name, f"the first good read after {took:.2f} s; then {tally.summary()}")
    c.expect(name, tally.sound(), tally.detail())


def check_line_pulled(c, lab, ports, mode, tool_end):
    """The gateway on the simulator's pair, pulled away and brought back during a load."""
    name = f"{mode} line pulled during load"
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, *FAST, "--max-clients", "80",
                      name="gateway-pulled-" + mode)
    control = Control()
    seen = {}

    async def pull_and_restore(tally):
        await asyncio.sleep(1.0)
        await asyncio.to_thread(lab.stop_pair, mode)
        await asyncio.sleep(1.5)
        seen["while pulled"] = dict(tally.exceptions)
        await asyncio.to_thread(lab.pty_pair, mode)
        back, start = tally.ok, time.monotonic()
        while tally.ok < back + 100 and time.monotonic() - start < RECOVERY_SECONDS:
            await asyncio.sleep(0.1)
        seen["recovered after"] = time.monotonic() - start if tally.ok >= back + 100 else None
        control.stop_sending = True

    tally, _, _ = asyncio.run(load(gateway.port, 8, Plan(10 ** 6, depth=2), control=control,
                                   during=pull_and_restore))
    lab.stop_named("gateway-pulled-" + mode)
    down = seen.get("while pulled", {}).get(mbap.PATH_UNAVAILABLE, 0)
    back = seen.get("recovered after")
    c.found(name, f"{tally.summary()}; 0A while the line was away: {down}; 100 good replies "
            f"again {'never' if back is None else f'{back:.2f} s'} after it was back")
    c.expect(name, tally.sound((mbap.PATH_UNAVAILABLE, mbap.NO_RESPONSE)), tally.detail())
    c.expect(name, down > 0, f"no exception 0A while the line was away: {seen}")
    c.expect(name, seen.get("recovered after") is not None, "no good replies once it was back")


def timed_reads(port, count):
    """Seconds each of `count` reads of D100-D109 took, one after another, and the wrong ones."""
    times, wrong = [], 0
    for _ in range(count):
        start = time.monotonic()
        reply = mbap.exchange(port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 10))
        times.append(time.monotonic() - start)
        wrong += not (reply and mbap.registers_of(reply[1]) == [4196 + i for i in range(10)])
    return times, wrong


def check_line_discipline(c, lab, ports, mode, simulator_end):
    """A whole frame that is no answer (corrupt, another station's) ends its try at once and
    leaves nothing owed: none of the requests after it waits a timeout. In RTU every request
    follows the reply before it by the silence that ends a frame, under load: at the 115200 baud
    the gateway is told, 1.75 ms (3.5 characters, and never less above 19200 baud)."""
    tool_end, relay_end = lab.pty_pair("discipline-" + mode)
    place = ["--serial", relay_end, simulator_end, "--framer", mode]
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, "--timeout", "1000",
                      name="gateway-discipline-" + mode)
    for fault in ("corrupt", "other-slave"):
        name = f"{mode}: 20 requests after a {fault} reply"
        relay = f"relay-discipline-{mode}-{fault}"
        lab.relay(*place, "--fault", fault, "--times", "1", "--after", "0", name=relay)
        times, wrong = timed_reads(gateway.port, 21)
        lab.stop_named(relay)
        c.found(name, f"the first (the spoiled reply, then its retry) {times[0] * 1000:.0f} ms, "
                f"the slowest after it {max(times[1:]) * 1000:.0f} ms")
        c.expect(name, wrong == 0 and max(times) < 1.0,
                 f"{wrong} wrong; times {[round(t * 1000) for t in times]} ms")
    if mode == "rtu":
        gaps_file = lab.path("gateway-gaps.txt")
        relay = "relay-discipline-gaps"
        lab.relay(*place, "--fault", "none", "--gaps", gaps_file, name=relay)
        tally, seconds = run_load(gateway.port, 8, Plan(12, depth=2))
        lab.stop_named(relay)
        with open(gaps_file) as f:
            gaps = sorted(float(line) for line in f)
        name = "rtu: the silence before each request under load"
        least = 0.00175
        c.found(name, f"{len(gaps)} gaps, the shortest {gaps[0] * 1000:.2f} ms, the median "
                f"{gaps[len(gaps) // 2] * 1000:.2f} ms" if gaps else "no gaps")
        c.expect(name, tally.sound() and len(gaps) >= 80 and gaps[0] >= least, tally.detail())
    lab.stop_named("gateway-discipline-" + mode)
    lab.stop_pair("discipline-" + mode)


def check_dead_station(c, lab, ports, mode, simulator_end):
    """With the defaults (1 s timeout, 2 retries, --retry-dead-after 1): a healthy station beside
    one that never answers waits at most one probe of it; and a station silent for 10 s answers
    again within 2 s of its return."""
    gateway = Gateway(lab, c.command, ports.name(simulator_end), mode, name="gateway-dead")
    stop = threading.Event()

    def poll_the_dead():
        while not stop.is_set():
            mbap.exchange(gateway.port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1), unit=7)

    dead = threading.Thread(target=poll_the_dead)
    dead.start()
    try:
        time.sleep(3.5)  # past the first request's three tries
        times, wrong = timed_reads(gateway.port, 40)
    finally:
        stop.set()
        dead.join()
    lab.stop_named("gateway-dead")
    name = f"{mode}: a healthy station beside a dead one"
    times.sort()
    c.found(name, f"median {times[len(times) // 2] * 1000:.0f} ms, slowest {times[-1] * 1000:.0f}"
            " ms")
    c.expect(name, wrong == 0 and times[-1] < 1.5, f"{wrong} wrong, slowest {times[-1]:.2f} s")

    tool_end, relay_end = lab.pty_pair("dead-" + mode)
    place = ["--serial", relay_end, simulator_end, "--framer", mode]
    gateway = Gateway(lab, c.command, ports.name(tool_end), mode, name="gateway-returning")
    lab.relay(*place, "--fault", "silent", "--times", "0", name="relay-silent")
    silent_until = time.monotonic() + 10
    while time.monotonic() < silent_until:
        mbap.exchange(gateway.port, mbap.read(mbap.READ_REGISTERS, mbap.d(100), 10))
        time.sleep(0.2)
    lab.stop_named("relay-silent")
    lab.relay(*place, *CLEAN, name="relay-back")
    took = first_good_read(gateway.port, 10)
    lab.stop_named("relay-back")
    lab.stop_named("gateway-returning")
    lab.stop_pair("dead-" + mode)
    name = f"{mode}: a station back after 10 s of silence"
    c.found(name, "no good read within 10 s" if took is None else f"answers again after "
            f"{took:.2f} s")
    c.expect(name, took is not None and took <= 2.0, f"{took}")
