#!/usr/bin/python3
"""What zentriq-gateway's console costs and how quickly it shows a change:

    console_bench.py BUILD_DIR

  - change to page: D100 changed inside the simulated controller (Modbus TCP, behind the gateway's
    back), then the time until a page's WebSocket brings the new value, watched at 1 s; median and
    99th percentile against the interval (the goal: the interval + 100 ms at the 99th)
  - Modbus clients beside pages: reads of D100-D109 one at a time through the gateway on the
    9600 baud line-speed relay, with no console and with 5 pages watching 50 devices at 1 s; the
    clients' median latency and reads/s, and the console's scans in the same time (the line shared
    as the queue's turns give it)
  - the page: bytes transferred and first contentful paint in headless Chromium
Figures only; nothing fails because a machine is slow."""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
for folder in ("poll", "gateway", "web"):
    sys.path.insert(0, os.path.join(HERE, "..", "tests", folder))
from checks_faults import timed_reads  # noqa: E402
from console_browser import browser  # noqa: E402
from console_lab import ConsoleLab, Controller, WebSocket, start_console  # noqa: E402
from gateway_process import Gateway  # noqa: E402
from harness import PYTHON  # noqa: E402

INTERVAL_MS = 1000
CHANGES = 20
FIFTY = [f"D{n}" for n in range(0, 500, 10)]  # 50 devices spread over the registers


def ms(seconds):
    return f"{seconds * 1000:.0f} ms"


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def watched(page, items):
    page.send_json({"type": "watch", "items": items, "interval_ms": INTERVAL_MS})


def change_to_page(lab, program):
    controller = Controller(lab, "tcp")
    gateway = start_console(lab, [program], controller, name="gateway-change")
    page = WebSocket(gateway.web_port)
    watched(page, ["D100"])
    value_of = (lambda m: m.get("type") == "watch" and m["values"] and m["values"][0]["value"])
    page.messages_until(lambda m: value_of(m) == "4196", 10)
    delays = []
    for number in range(CHANGES):
        value = 1000 + number
        # At a different point of the scan's cycle each time.
        time.sleep(INTERVAL_MS / 1000 * ((number * 7) % CHANGES) / CHANGES)
        controller.set_register(0x1064, value)
        changed = time.monotonic()
        if page.messages_until(lambda m: value_of(m) == str(value), 5):
            delays.append(time.monotonic() - changed)
    page.close()
    lab.stop_named("gateway-change")
    print(f"  change to page, watched every {INTERVAL_MS} ms: median {ms(statistics.median(delays))}"
          f", p99 {ms(percentile(delays, 0.99))} ({len(delays)} of {CHANGES} changes seen): "
          f"p99 - interval = {ms(percentile(delays, 0.99) - INTERVAL_MS / 1000)} (goal <= 100 ms)")


def beside_pages(lab, program):
    tool_end, relay_end = lab.pty_pair("real-line")
    controller_end, simulator_end = lab.pty_pair("real-controller")
    lab.simulator("--serial", simulator_end, "--framer", "ascii", name="simulator-real")
    lab.start("line-relay", [PYTHON, os.path.join(HERE, "..", "tests", "poll", "line_relay.py"),
                             "--serial", relay_end, controller_end, "--framer", "ascii", "--baud",
                             "9600", "--line", "7E1", "--reply-delay", "10"])
    figures = {}
    for pages in (0, 5):
        name = f"gateway-pages-{pages}"
        gateway = Gateway(lab, [program], tool_end, "ascii", "--timeout", "3000",
                          "--web", "127.0.0.1:0", name=name, baud="9600")
        port = int(gateway.wait_for(r"console on http://127\.0\.0\.1:(\d+)/", 10)[1])
        sockets = [WebSocket(port) for _ in range(pages)]
        if sockets:
            watched(sockets[0], FIFTY)
            sockets[0].messages_until(lambda m: m.get("type") == "sample", 30)
        started = time.monotonic()
        times, wrong = timed_reads(gateway.port, 150)
        seconds = time.monotonic() - started
        scans = 0  # the samples the first page got while the clients read
        if sockets:
            while sockets[0].messages_until(lambda m: m.get("type") == "sample", 0.2):
                scans += 1
        for page in sockets:
            page.close()
        lab.stop_named(name)
        figures[pages] = (statistics.median(times), len(times) / seconds, wrong, scans,
                          percentile(times, 0.99))
    (alone, alone_rate, _, _, alone_p99), (shared, shared_rate, wrong, scans, shared_p99) = (
        figures[0], figures[5])
    print(f"  a Modbus client's reads of D100-D109 at 9600 baud: median {ms(alone)} alone, "
          f"{ms(shared)} beside 5 pages watching 50 devices at 1 s: ratio {shared / alone:.2f} "
          f"(goal <= 1.05); p99 {ms(alone_p99)} -> {ms(shared_p99)} (a read behind one of the "
          f"console's); {alone_rate:.1f} -> {shared_rate:.1f} reads/s, "
          f"{scans} console scans queued meanwhile" + (f", {wrong} wrong" if wrong else ""))


def page_weight(lab, program):
    controller = Controller(lab, "tcp")
    gateway = start_console(lab, [program], controller, name="gateway-weight")
    driver = browser(lab, "weight")
    try:
        driver.get(f"http://127.0.0.1:{gateway.web_port}/")
        time.sleep(1)
        sizes = driver.execute_script(
            "return performance.getEntriesByType('navigation').concat("
            "performance.getEntriesByType('resource')).map(e => e.transferSize);")
        paint = driver.execute_script(
            "const p = performance.getEntriesByName('first-contentful-paint')[0];"
            "return p ? p.startTime : null;")
    finally:
        driver.quit()
        lab.stop_named("gateway-weight")
    print(f"  the page: {sum(sizes) / 1024:.0f} KiB transferred in {len(sizes)} requests, first "
          f"contentful paint {paint:.0f} ms (headless Chromium, 127.0.0.1)")


def main():
    program = os.path.join(sys.argv[1], "gateway", "zentriq-gateway")
    lab = ConsoleLab(os.path.join(sys.argv[1], "bench-console"))
    try:
        change_to_page(lab, program)
        page_weight(lab, program)
        beside_pages(lab, program)
    finally:
        lab.stop()


if __name__ == "__main__":
    main()
