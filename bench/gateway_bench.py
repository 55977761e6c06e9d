#!/usr/bin/python3
"""What zentriq-gateway costs on top of the serial line, and how it shares the line:

    gateway_bench.py BUILD_DIR

Against the simulated controller of tests/poll on a pty pair (which moves bytes at no baud rate,
so the line is as fast as the simulator answers), in Modbus ASCII and RTU:
  - latency: one read of D100-D109 at a time, from one Python process with raw frames, sent
    straight on the pty and sent through the gateway (Modbus TCP on 127.0.0.1); median and 99th
    percentile, and what the gateway adds
  - throughput: requests per second with 1, 8 and 64 clients (asyncio, in one process), each
    asking again as soon as it has its answer, and with the plain client of the latency rounds,
    against that client back to back straight on the line (the ratio is what the gateway keeps
    of the line's pace)
  - fairness: with 64 clients, the most and the fewest requests served to one client at the
    moment the first client has all its answers
  - memory: the gateway's peak RSS (VmHWM) after 64 clients, and after a run ten times longer
  - the line's share at its real pace: 8 clients reading through the gateway on the line-speed
    relay (tests/poll/line_relay.py) at 9600 baud 7E1 ASCII, the characters of every request and
    reply and the 10 ms reply delay each costs, against the time taken (1.00: never idle)
  - after a bad frame: a corrupt reply and another station's, each once through the fault relay
    (tests/poll/relay.py), then 20 reads one at a time: what the spoiled one and the slowest after
    it took (a whole frame ends its try; nothing is owed for it)
Figures only; nothing fails because a machine is slow."""

import asyncio
import os
import select
import socket
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "poll"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "gateway"))
import mbap  # noqa: E402
from gateway_process import Gateway  # noqa: E402
from harness import HarnessError, Lab, ascii_frame, rtu_frame  # noqa: E402
from checks_faults import timed_reads  # noqa: E402
from load import Control, Plan, load, run_load  # noqa: E402

READ = mbap.read(mbap.READ_REGISTERS, mbap.d(100), 10)
LATENCY_READS = 1000
ROUNDS = 5
RTU_REPLY = 1 + 2 + 20 + 2  # station, function, byte count, ten registers, CRC
THROUGHPUT = {1: 2000, 8: 250, 64: 40}  # requests per client
FAIRNESS_REQUESTS = 100
MEMORY_REQUESTS = 50  # per client; the longer run asks ten times as many


def straight_reads(tool_end, mode, count):
    """Seconds each of `count` reads took, sent straight on the pty."""
    frame = (ascii_frame if mode == "ascii" else rtu_frame)(bytes([1]) + READ)
    fd = os.open(tool_end, os.O_RDWR | os.O_NOCTTY)
    times = []
    try:
        for _ in range(count):
            start = time.perf_counter()
            os.write(fd, frame)
            reply = b""
            while not (reply.endswith(b"\r\n") if mode == "ascii" else len(reply) >= RTU_REPLY):
                if not select.select([fd], [], [], 2)[0]:
                    raise HarnessError(f"the simulator did not answer on {tool_end}: {reply!r}")
                reply += os.read(fd, 512)
            times.append(time.perf_counter() - start)
    finally:
        os.close(fd)
    return times


def gateway_reads(port, count):
    """Seconds each of `count` reads took, sent through the gateway on one connection."""
    times = []
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for transaction in range(count):
            start = time.perf_counter()
            s.sendall(mbap.adu(READ, 1, transaction))
            reply = b""
            while len(reply) < 6 or len(reply) < 6 + int.from_bytes(reply[4:6], "big"):
                chunk = s.recv(512)
                if not chunk:
                    raise HarnessError("the gateway closed the connection")
                reply += chunk
            times.append(time.perf_counter() - start)
    return times


def p99(times):
    return sorted(times)[int(len(times) * 0.99) - 1]


def ms(seconds):
    return f"{seconds * 1000:.3f} ms"


def latency(straight, through):
    s_med, g_med = statistics.median(straight), statistics.median(through)
    print(f"  latency of a read of D100-D109, {len(through)} reads one at a time:")
    print(f"    straight on the pty   median {ms(s_med)}, p99 {ms(p99(straight))}")
    print(f"    through the gateway   median {ms(g_med)}, p99 {ms(p99(through))}")
    print(f"    the gateway adds      median {ms(g_med - s_med)}, p99 "
          f"{ms(p99(through) - p99(straight))} (ratio of medians {g_med / s_med:.2f})")


def throughput(port, straight, through):
    """`straight`, `through`: the latency rounds' times, one read at a time by one plain client."""
    straight_rate = len(straight) / sum(straight)
    print(f"  requests/s, each client asking again as soon as it has its answer (straight on the "
          f"line back to back: {straight_rate:.0f}/s):")
    rate = len(through) / sum(through)
    print(f"    {'1 plain client':18}: {rate:6.0f}/s, ratio to straight {rate / straight_rate:.2f} "
          "(the latency rounds)")
    for clients, requests in THROUGHPUT.items():
        tally, seconds, _ = asyncio.run(load(port, clients, Plan(requests, mix="shared-read")))
        rate = tally.ok / seconds
        sound = "" if tally.sound() else f"  ({tally.summary()})"
        print(f"    {f'{clients} asyncio x {requests}':18}: {rate:6.0f}/s, ratio to straight "
              f"{rate / straight_rate:.2f}{sound}")


def fairness(port):
    control = Control()
    tally, _, clients = asyncio.run(load(port, 64, Plan(FAIRNESS_REQUESTS, mix="shared-read"),
                                         control=control))
    counts = control.first_done or [c.done for c in clients]
    print(f"  fairness, 64 clients x {FAIRNESS_REQUESTS}: when the first had all its answers, "
          f"the most served {max(counts)}, the fewest {min(counts)} (ratio "
          f"{max(counts) / max(min(counts), 1):.2f}; 1.00 is even)"
          + ("" if tally.sound() else f"  ({tally.summary()})"))


def memory(lab, program, tool_end, mode):
    peaks = []
    for requests in (MEMORY_REQUESTS, MEMORY_REQUESTS * 10):
        gateway = Gateway(lab, [program], tool_end, mode, "--max-clients", "80",
                          name=f"gateway-memory-{requests}")
        start = gateway.peak_rss_kib()
        tally, seconds, _ = asyncio.run(load(gateway.port, 64, Plan(requests, depth=2)))
        peaks.append((start, gateway.peak_rss_kib(), tally, seconds))
        lab.stop_named(f"gateway-memory-{requests}")
    (start, short, t1, s1), (_, long, t2, s2) = peaks
    print(f"  peak RSS (VmHWM): {start} KiB at start; {short} KiB after 64 clients x "
          f"{MEMORY_REQUESTS} mixed requests ({s1:.1f} s), {long} KiB after 64 x "
          f"{MEMORY_REQUESTS * 10} ({s2:.1f} s): ratio {long / short:.2f} (1.00: flat)"
          + ("" if t1.sound() and t2.sound() else f"  ({t1.summary()}; {t2.summary()})"))


def line_share(lab, program):
    tool_end, relay_end = lab.pty_pair("real-line")
    controller_end, simulator_end = lab.pty_pair("real-controller")
    lab.simulator("--serial", simulator_end, "--framer", "ascii", name="simulator-real")
    lab.start("line-relay", ["/usr/bin/python3", os.path.join(HERE, "..", "tests", "poll",
                                                               "line_relay.py"),
                             "--serial", relay_end, controller_end, "--framer", "ascii", "--baud",
                             "9600", "--line", "7E1", "--reply-delay", "10"])
    gateway = Gateway(lab, [program], tool_end, "ascii", "--timeout", "3000", name="gateway-real",
                      baud="9600")
    clients, requests = 8, 12
    tally, seconds = run_load(gateway.port, clients, Plan(requests, mix="shared-read"))
    lab.stop_named("gateway-real")
    # A read of D100-D109 in ASCII: 17 characters asked, 51 answered, 10 bits each.
    each = (17 + 51) * 10 / 9600 + 0.010
    print(f"  line share at 9600 baud 7E1 (the line-speed relay), {clients} clients x {requests} "
          f"reads of D100-D109: {tally.ok * each / seconds:.3f} of the line busy, "
          f"{tally.ok / seconds:.2f} reads/s" + ("" if tally.sound() else f"  ({tally.summary()})"))


def after_bad_frames(lab, program, mode, tool_end):
    """`tool_end`: the free end of the simulator's pair."""
    gateway_end, relay_end = lab.pty_pair("bad-" + mode)
    gateway = Gateway(lab, [program], gateway_end, mode, "--timeout", "1000",
                      name="gateway-bad-" + mode)
    for fault in ("corrupt", "other-slave"):
        lab.relay("--serial", relay_end, tool_end, "--framer", mode, "--fault", fault, "--times",
                  "1", name=f"relay-{fault}-{mode}")
        times, wrong = timed_reads(gateway.port, 21)
        lab.stop_named(f"relay-{fault}-{mode}")
        print(f"  after a {fault} reply: that read {ms(times[0])}, the slowest of the 20 after "
              f"it {ms(max(times[1:]))}" + (f"  ({wrong} wrong)" if wrong else ""))
    lab.stop_named("gateway-bad-" + mode)
    lab.stop_pair("bad-" + mode)


def interleaved(lab, program, mode, tool_end):
    """(straight times, gateway times) of LATENCY_READS reads each, taken in ROUNDS alternating
    rounds so that what else the machine does weighs on both alike. The gateway is stopped for
    the straight rounds: while it holds the pty, the replies are its to read."""
    straight, through = [], []
    straight_reads(tool_end, mode, 50)  # the simulator warmed up
    for number in range(ROUNDS):
        straight += straight_reads(tool_end, mode, LATENCY_READS // ROUNDS)
        gateway = Gateway(lab, [program], tool_end, mode, name=f"gateway-{mode}-{number}")
        gateway_reads(gateway.port, 20)
        through += gateway_reads(gateway.port, LATENCY_READS // ROUNDS)
        lab.stop_named(f"gateway-{mode}-{number}")
    return straight, through


def main():
    program = os.path.join(os.path.abspath(sys.argv[1]), "gateway", "zentriq-gateway")
    with Lab() as lab:
        for mode in ("ascii", "rtu"):
            tool_end, simulator_end = lab.pty_pair(mode)
            lab.simulator("--serial", simulator_end, "--framer", mode, name="simulator-" + mode)
            print(f"{mode}:")
            straight, through = interleaved(lab, program, mode, tool_end)
            latency(straight, through)
            gateway = Gateway(lab, [program], tool_end, mode, "--max-clients", "80",
                              name="gateway-" + mode)
            throughput(gateway.port, straight, through)
            if mode == "ascii":
                fairness(gateway.port)
            lab.stop_named("gateway-" + mode)
            after_bad_frames(lab, program, mode, tool_end)
            if mode == "ascii":
                memory(lab, program, tool_end, mode)
        line_share(lab, program)


if __name__ == "__main__":
    try:
        main()
    except HarnessError as error:
        sys.exit(f"gateway_bench: {error}")
