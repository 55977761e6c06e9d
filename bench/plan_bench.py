#!/usr/bin/python3
"""How long zentriq-poll's scan plan takes on a real serial line, predicted and measured:

    plan_bench.py BUILD_DIR

A scan of 500 devices picked at random (seeded, as poll_bench.py picks them). First the predicted
time of one scan for three plans on several lines (9600 baud 7E1 Modbus ASCII with a controller
that answers 10 ms after each request first), each request priced by its characters on the line
and the reply delay: the plan zentriq-poll makes (its --plan), the rule of thumb it replaced (read
across at most 8 registers or 128 bits: kept here only to compare), and the fewest requests (every
gap read across that a request can span). Then a watch over the line-speed relay
(tests/poll/line_relay.py: each byte one character time on the line, each reply the reply delay
after its request) at 9600 baud 7E1 ASCII, its scans timed against the prediction and against the
physical floor: the characters of the devices asked for alone, as if they came with no request,
reply frame or delay at all. Only ASCII is measured: an RTU frame ends at 50 ms of silence on the
tool's side, which a relay held up that long on a loaded machine makes in the middle of a reply.
Figures only; nothing fails."""

import bisect
import datetime
import os
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "poll"))
from harness import PYTHON, HarnessError, Lab  # noqa: E402
from poll_bench import MOST, asked_addresses, pick_devices, valid_runs  # noqa: E402
from simulator import COIL, INPUT, REGISTER  # noqa: E402

DEVICES = 500
SCANS = 4
MOST_BEFORE = {COIL: 128, INPUT: 128, REGISTER: 8}  # the rule of thumb
CODE = {COIL: 1, INPUT: 2, REGISTER: 3}
TABLE = {code: table for table, code in CODE.items()}
PLAN_LINE = re.compile(r"([0-9A-F]{2}) ([0-9A-F]{4}) \+(\d+) ")
PREDICTED = re.compile(r"predicted ([\d.]+) ms a scan")


class Line:
    """A serial line and the controller's reply delay."""

    def __init__(self, mode, baud, form, reply_delay_ms):
        self.mode, self.baud, self.form, self.reply_delay_ms = mode, baud, form, reply_delay_ms
        data, parity, stop = int(form[0]), form[1], int(form[2])
        self.character = (1 + data + (parity != "N") + stop) / baud
        self.silence = max(3.5 * self.character, 0.00175 if baud > 19200 else 0.0)

    def __str__(self):
        return f"{self.baud} {self.form} {self.mode}, reply delay {self.reply_delay_ms} ms"

    def frame_time(self, data_bytes):
        """ASCII: ':', two hex digits a byte and two for the LRC, CR LF. RTU: the bytes, the CRC
        and the silence after the frame."""
        if self.mode == "ascii":
            return (1 + 2 * data_bytes + 2 + 2) * self.character
        return (data_bytes + 2) * self.character + self.silence

    def request_time(self, table, quantity):
        """A read: its request (slave, function, start, quantity), its reply (slave, function,
        byte count, the data) and the reply delay."""
        data = 2 * quantity if table == REGISTER else (quantity + 7) // 8
        return self.frame_time(6) + self.frame_time(3 + data) + self.reply_delay_ms / 1000

    def plan_time(self, plan):
        return sum(self.request_time(table, quantity) for table, _, quantity in plan)

    def floor(self, asked):
        """The devices' own bytes on the line, as if they came with nothing else."""
        data = 2 * len(asked[REGISTER]) + (len(asked[COIL]) + len(asked[INPUT])) / 8
        return data * (2 if self.mode == "ascii" else 1) * self.character


# Predicted on each; measured on the first.
LINES = [Line("ascii", 9600, "7E1", 10), Line("rtu", 9600, "8N1", 10),
         Line("ascii", 9600, "7E1", 50), Line("ascii", 19200, "7E1", 10),
         Line("rtu", 19200, "8E1", 10), Line("rtu", 115200, "8N1", 10)]


def greedy_plan(asked, bridge):
    """Per table by address, each request from the first address not yet read as far as it may:
    at most MOST items, only devices of its table, no more than `bridge` addresses in a row not
    asked for (None: any)."""
    plan = []
    for table in (COIL, INPUT, REGISTER):
        runs = valid_runs(table)
        lows = [low for low, _ in runs]
        addresses = sorted(asked[table])
        i = 0
        while i < len(addresses):
            start = last = addresses[i]
            high = runs[bisect.bisect_right(lows, start) - 1][1]  # the end of start's stretch
            i += 1
            while i < len(addresses):
                here = addresses[i]
                if (here > high or here - start + 1 > MOST[table] or
                        (bridge is not None and here - last - 1 > bridge[table])):
                    break
                last = here
                i += 1
            plan.append((table, start, last - start + 1))
    return plan


def shown_plan(program, names, line):
    """The requests and predicted seconds zentriq-poll --plan gives, and its exit status."""
    done = subprocess.run([program, "--port", "COM9", "--mode", line.mode, "--baud", str(line.baud),
                           "--line", line.form, "--reply-delay", str(line.reply_delay_ms), "read",
                           *names, "--plan"], capture_output=True, text=True, check=False)
    plan = [(TABLE[int(m[1], 16)], int(m[2], 16), int(m[3]))
            for m in map(PLAN_LINE.match, done.stdout.splitlines()) if m]
    predicted = PREDICTED.search(done.stdout)
    if not plan or predicted is None:
        raise HarnessError(f"zentriq-poll --plan said nothing usable (exit status "
                           f"{done.returncode}): {done.stderr[:300]}")
    return plan, float(predicted[1]) / 1000


def scan_times(csv_text):
    """Seconds from the end of each scan of a csv watch to the end of the next."""
    ends = {}
    for row in csv_text.splitlines()[1:]:
        stamp, scan = row.split(",")[:2]
        ends[int(scan)] = datetime.datetime.fromisoformat(stamp)
    order = sorted(ends)
    return [(ends[b] - ends[a]).total_seconds() for a, b in zip(order, order[1:])]


def measured(lab, program, names, line):
    """The scans of a watch through the line-speed relay, and its exit status."""
    tool_end, relay_end = lab.pty_pair("line-" + line.mode)
    controller_end, simulator_end = lab.pty_pair("controller-" + line.mode)
    lab.simulator("--serial", simulator_end, "--framer", line.mode, name="simulator-" + line.mode)
    lab.start("line-relay-" + line.mode,
              [PYTHON, os.path.join(HERE, "..", "tests", "poll", "line_relay.py"), "--serial",
               relay_end, controller_end, "--framer", line.mode, "--baud", str(line.baud),
               "--line", line.form, "--reply-delay", str(line.reply_delay_ms)])
    # A pty refuses parity and 7 data bits: the tool speaks 8N1 to it, the relay keeps the time of
    # the line's own characters.
    done = subprocess.run([program, "--port", tool_end, "--mode", line.mode, "--line", "8N1",
                           "--timeout", "3000", "--format", "csv", "watch", *names, "--count",
                           str(SCANS), "--interval", "0"], capture_output=True, text=True,
                          check=False)
    return scan_times(done.stdout), done.returncode


def main():
    program = os.path.join(os.path.abspath(sys.argv[1]), "poll", "zentriq-poll")
    names = pick_devices(DEVICES)
    asked = asked_addresses(names)
    rule = greedy_plan(asked, MOST_BEFORE)
    fewest = greedy_plan(asked, None)
    print(f"one scan of {DEVICES} scattered devices (seed 1), predicted: the plan priced in line "
          f"time (--plan) against the rule of thumb it replaced (across 8 registers or 128 bits) "
          f"and the fewest requests (across every gap); requests and ms")
    predictions = []
    for line in LINES:
        plan, predicted = shown_plan(program, names, line)
        predictions.append(predicted)
        times = [line.plan_time(p) for p in (plan, rule, fewest)]
        least = "the plan is the least" if times[0] <= min(times) else "the plan is NOT the least"
        print(f"  {str(line):38} plan {len(plan):3} {times[0] * 1000:7.0f} (--plan says "
              f"{predicted * 1000:.0f})  rule {len(rule):3} {times[1] * 1000:7.0f} "
              f"({times[1] / times[0]:.3f})  fewest {len(fewest):3} {times[2] * 1000:7.0f} "
              f"({times[2] / times[0]:.3f}): {least}")
    print(f"measured on the line-speed relay (tests/poll/line_relay.py), {SCANS} scans of a watch, "
          f"the first {SCANS - 1} intervals timed; load average {os.getloadavg()[0]:.1f} on "
          f"{os.cpu_count()} cores (a busy machine's simulator answers late, and a scan with it)")
    with Lab() as lab:
        for line, predicted in list(zip(LINES, predictions))[:1]:
            scans, status = measured(lab, program, names, line)
            if not scans:
                print(f"  {line}: no timed scans (exit status {status})")
                continue
            scan = statistics.median(scans)
            floor = line.floor(asked)
            print(f"  {str(line):38} median {scan * 1000:.0f} ms a scan (exit status {status}; "
                  f"{', '.join(f'{s * 1000:.0f}' for s in scans)}): measured / predicted "
                  f"{scan / predicted:.3f} (goal within 10 %), measured / physical floor "
                  f"({floor * 1000:.0f} ms, the devices' own bytes alone) {scan / floor:.1f}")


if __name__ == "__main__":
    try:
        main()
    except HarnessError as error:
        sys.exit(f"plan_bench: {error}")
