#!/usr/bin/python3
"""How well zentriq-poll packs a scattered read into requests, and how long a read takes:

    poll_bench.py BUILD_DIR

One `read` of 500 devices picked at random (seeded) over S, X, Y, T, M, C and D, against the
simulated controller of tests/poll. The requests it sends (its --verbose lines "> ") are counted
and compared with the fewest that can cover the same addresses (a serial line bridges only small
gaps, where reading across costs less line time than a request of its own), worked out here from the map: per
table, each request a run of addresses that all have a device of that table, at most 125 registers
or 2000 bits. Then the wall time of the whole read (process start included), median of 5, over
Modbus TCP and over ASCII and RTU on a pty pair (which moves bytes at no baud rate at all).
Figures only; nothing fails."""

import os
import random
import select
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "poll"))
from harness import HarnessError, Lab, ascii_frame  # noqa: E402
from simulator import COIL, INPUT, OCTAL, REGISTER, SEGMENTS  # noqa: E402

DEVICES = 500
RUNS = 5
MOST = {COIL: 2000, INPUT: 2000, REGISTER: 125}


def pick_devices(count, seed=1):
    """`count` distinct device names: a letter drawn evenly, then one of its numbers."""
    numbers = {}
    for letter, first, last, _, _ in SEGMENTS:
        numbers.setdefault(letter, []).extend(range(first, last + 1))
    rng = random.Random(seed)
    chosen = {}
    while len(chosen) < count:
        letter = rng.choice(sorted(numbers))
        number = rng.choice(numbers[letter])
        chosen[(letter, number)] = letter + (format(number, "o") if letter in OCTAL else str(number))
    return list(chosen.values())


def asked_addresses(names):
    """{table: set of addresses} that reading `names` asks for."""
    asked = {COIL: set(), INPUT: set(), REGISTER: set()}
    for name in names:
        letter, text = name[0], name[1:]
        number = int(text, 8 if letter in OCTAL else 10)
        for seg_letter, first, last, table, address in SEGMENTS:
            if seg_letter == letter and first <= number <= last:
                asked[table].add(address + number - first)
    return asked


def valid_runs(table):
    """The stretches of consecutive addresses that all have a device of `table`."""
    addresses = sorted({address + n for _, first, last, seg_table, address in SEGMENTS
                        if seg_table == table for n in range(last - first + 1)})
    runs = []
    for a in addresses:
        if runs and runs[-1][1] == a - 1:
            runs[-1][1] = a
        else:
            runs.append([a, a])
    return runs


def fewest_requests(asked):
    """Greedy cover within each stretch: a request starts at the first address not yet covered
    and takes the most it may; on a line of points that is the least number of intervals."""
    total = 0
    for table, addresses in asked.items():
        for low, high in valid_runs(table):
            end = -1
            for a in sorted(x for x in addresses if low <= x <= high):
                if a > end:
                    total += 1
                    end = a + MOST[table] - 1
    return total


def ascii_characters(verbose):
    """The characters the frames of a --verbose log take on a Modbus ASCII line: ':', two hex
    digits per byte and for the LRC, CR LF. TCP frames are counted as if sent in ASCII."""
    total = 0
    for line in verbose.splitlines():
        if line.startswith(("> :", "< :")):
            total += len(line) - 2 + 2
        elif line.startswith(("> [tcp", "< [tcp")):
            unit_and_pdu = len(line.split("] ", 1)[1].split()) - 2  # less the CRC shown
            total += 1 + 2 * (unit_and_pdu + 1) + 2
    return total


def line_ms(characters, requests, turnaround_ms):
    """Time on a 9600 baud 7E1 line (10 bits a character), with the controller's turnaround."""
    return characters * 10 / 9600 * 1000 + requests * turnaround_ms


def timed_runs(command):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def simulator_round_trip(tool_end):
    """Median time of the simulator's answer to one raw ASCII request on the pty, no tool involved."""
    fd = os.open(tool_end, os.O_RDWR | os.O_NOCTTY)
    times = []
    try:
        for _ in range(21):
            start = time.perf_counter()
            os.write(fd, ascii_frame(bytes.fromhex("010310640001")))
            reply = b""
            while not reply.endswith(b"\r\n") and select.select([fd], [], [], 2)[0]:
                reply += os.read(fd, 64)
            times.append(time.perf_counter() - start)
    finally:
        os.close(fd)
    return statistics.median(times)


def silent_line(lab, program, healthy):
    """How long a read of scattered devices takes to give up on a port with nothing behind it,
    against the tries of every request it plans (what each request waiting out its own tries
    would cost)."""
    items = [f"D{number}" for number in range(0, 6000, 300)]
    done = subprocess.run([program] + healthy + ["--verbose", "read"] + items, capture_output=True,
                          text=True, check=False)
    requests = sum(line.startswith("> ") for line in done.stderr.splitlines())
    tool_end, _ = lab.pty_pair("silent")
    start = time.perf_counter()
    done = subprocess.run([program, "--port", tool_end, "--line", "8N1", "--timeout", "500", "read"]
                          + items, capture_output=True, check=False)
    took = time.perf_counter() - start
    print(f"  a silent line, {len(items)} scattered devices in {requests} requests, --timeout 500 "
          f"with 3 tries: gave up in {took:.2f} s (exit status {done.returncode}); the tries of "
          f"one request take 1.50 s, of every request {requests * 1.5:.2f} s")


def main():
    program = os.path.join(os.path.abspath(sys.argv[1]), "poll", "zentriq-poll")
    names = pick_devices(DEVICES)
    least = fewest_requests(asked_addresses(names))
    with Lab() as lab:
        connections = {"tcp": ["--host", "127.0.0.1:" + lab.simulator("--tcp", "0", name="sim-tcp")]}
        for framer in ("ascii", "rtu"):
            tool_end, simulator_end = lab.pty_pair(framer)
            lab.simulator("--serial", simulator_end, "--framer", framer, name="sim-" + framer)
            connections[framer] = ["--port", tool_end, "--mode", framer, "--line", "8N1"]

        print(f"read of {DEVICES} scattered devices (seed 1): {least} requests at the least")
        characters = {}
        for transport, connection in connections.items():
            done = subprocess.run([program] + connection + ["--verbose", "read"] + names,
                                  capture_output=True, text=True, check=False)
            sent = sum(line.startswith("> ") for line in done.stderr.splitlines())
            characters[transport] = (ascii_characters(done.stderr), sent)
            median = timed_runs([program] + connection + ["read"] + names)
            print(f"  {transport:5} exit status {done.returncode}, {sent} requests sent: ratio "
                  f"{sent / least:.2f} (1.00 is best); wall time of the read, median of {RUNS}: "
                  f"{median * 1000:6.1f} ms ({median * 1000 / max(sent, 1):.2f} ms a request)")
        for turnaround in (0, 5, 20):
            print(f"  on a real 9600 baud ASCII line with {turnaround} ms of controller turnaround: "
                  f"the serial plan {line_ms(*characters['ascii'], turnaround):.0f} ms, the plan of "
                  f"fewest requests (TCP's) {line_ms(*characters['tcp'], turnaround):.0f} ms")
        silent_line(lab, program, connections["ascii"])
        alone = simulator_round_trip(connections["ascii"][1])
        print(f"  the simulator alone answers a raw ASCII request on the pty in {alone * 1000:.2f} ms"
              " (a pty moves bytes at no baud rate)")


if __name__ == "__main__":
    try:
        main()
    except HarnessError as error:
        sys.exit(f"poll_bench: {error}")
