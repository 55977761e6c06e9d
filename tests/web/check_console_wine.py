#!/usr/bin/python3
"""The Windows build's console, end to end: zentriq-gateway.exe run by Wine in front of the
simulated controller over Modbus TCP, its page opened in this machine's headless Chromium:

    check_console_wine.py GATEWAY.exe --wine WRAPPER... [--artifacts DIR]

WRAPPER runs the program (such as wine-run and its prefix). The page must connect, watch D100 as
the controller holds it, and convert a device name, all served by the .exe; a picture of the
watch view and the run's logs go to DIR (default: a new folder under the system's temporary
one). Each check prints what it found; every failed one is listed at the end, and then the
script exits 1."""

import argparse
import os
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "gateway"), os.path.join(HERE, "..", "poll")]

from check_gateway import Checker  # noqa: E402
from console_browser import browser, safely, show  # noqa: E402
from console_lab import ConsoleLab, Controller, start_console, until  # noqa: E402
from console_writes import check_convert  # noqa: E402
from harness import HarnessError, stop_on_signals  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from wine_ports import WinePorts, WinePortsError  # noqa: E402


def check_wine_console(c, lab):
    controller = Controller(lab, "tcp")
    gateway = start_console(lab, c.command, controller, name="gateway-web-wine")
    driver = browser(lab, "wine")
    try:
        driver.get(f"http://127.0.0.1:{gateway.web_port}/")

        def text(id):
            return safely(lambda: driver.find_element(By.ID, id).get_attribute("textContent"))

        name = "wine: the page connects"
        connected = until(lambda: text("status") == "connected", 20)
        up = until(lambda: text("line-state") == "up", 20)
        c.found(name, f"status {text('status')!r}, line {text('line-state')!r}: "
                      f"{text('line-connection')!r}")
        c.expect(name, connected and up, "want connected and the line up")

        name = "wine: watch D100"
        show(c, driver, "wine", "watch")
        items = driver.find_element(By.ID, "watch-items")
        items.clear()
        items.send_keys("D100")
        driver.find_element(By.ID, "watch-apply").click()
        cell = '#watch-table tr[data-device="D100"] td.value'
        seen = until(lambda: safely(lambda: driver.find_element(By.CSS_SELECTOR, cell).text)
                     == "4196", 15)
        c.found(name, f"value {safely(lambda: driver.find_element(By.CSS_SELECTOR, cell).text)!r}")
        c.expect(name, seen, "want 4196, as the controller holds it")
        path = lab.artifact("console-wine-watch.png")
        driver.save_screenshot(path)
        print(f"  screenshot: {path}", flush=True)

        check_convert(c, driver, lab, "wine", lambda view: show(c, driver, "wine", view))
    finally:
        driver.quit()
    lab.stop_named("gateway-web-wine")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway")
    parser.add_argument("--wine", nargs="+", required=True, metavar="WRAPPER")
    parser.add_argument("--artifacts", help="where the picture and logs are kept")
    args = parser.parse_args()
    artifacts = os.path.abspath(args.artifacts or tempfile.mkdtemp(prefix="zentriq-web-wine-"))
    c = Checker(args.gateway, args.gateway, args.wine)  # no zentriq-poll in this check
    stop_on_signals()
    start = time.monotonic()
    try:
        # WinePorts makes the prefix before the first start, as the gateway's own checks do.
        with ConsoleLab(artifacts) as lab, WinePorts(c.command):
            print(f"artifacts: {artifacts}", flush=True)
            check_wine_console(c, lab)
    except (HarnessError, WinePortsError) as error:
        print(f"check_console_wine: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as reason:
        print(f"check_console_wine: interrupted ({reason})", file=sys.stderr)
        return 1
    for fault in c.faults:
        print("FAIL", fault)
    print(f"{len(c.faults)} faults" if c.faults else "the Windows gateway's console: every check "
          "passed", f"({time.monotonic() - start:.0f} s; pictures and logs in {artifacts})")
    return 1 if c.faults else 0


if __name__ == "__main__":
    sys.exit(main())
