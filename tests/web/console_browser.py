"""The console as an engineer uses it: headless Chromium, driven by Selenium, on the page the
gateway serves, while the simulated controller behind the gateway changes a value and zentriq-poll
reads through the gateway. A picture of each view is kept among the run's artifacts."""

import math
import re
import subprocess
import time

import mbap
from console_lab import get, start_console, until
from console_writes import check_convert, check_page_writes, check_writes_off
from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
ITEMS = "D100 M0-M15 D200:f32"
INTERVAL = 1  # seconds, as typed in #watch-interval
CHANGED = 1234  # what D100 is set to inside the controller
ISO_MS = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")

# Every cell of the watch table at once, so that a row redrawn between two reads cannot mix
# values of two scans.
WATCH_ROWS = """return Array.from(document.querySelectorAll('#watch-table tr')).map(tr => {
    const cell = c => { const td = tr.querySelector('td.' + c); return td ? td.textContent.trim()
                                                                          : null; };
    return {device: tr.dataset.device, reference: cell('reference'), value: cell('value'),
            error: cell('error')}; });"""
TRAFFIC_ROWS = """return Array.from(document.querySelectorAll('#traffic tr.traffic-row'))
    .filter(tr => tr.offsetParent !== null).map(tr => {
    const cell = c => tr.querySelector('td.' + c).textContent.trim();
    return {client: cell('client'), what: cell('what'), outcome: cell('outcome')}; });"""
CHART = """const canvas = document.querySelector('#trend-chart canvas');
    return canvas ? canvas.toDataURL('image/png') : null;"""
# Everything the page loaded, so that a font or script from elsewhere shows.
RESOURCES = "return performance.getEntriesByType('resource').map(e => e.name);"

# What the controller holds (tests/poll/simulator.py): (device as shown, reference, how the value
# is judged; D100's is the value last set). M0-M15: a bit is on at an odd coil address, and M0 is
# coil 0800.
EXPECTED = ([("D100", "404197", None),
             ("D200:f32", "404297", lambda v: math.isclose(float(v), 0.1, rel_tol=1e-6))] +
            [(f"M{n}", f"{1 + mbap.m(n):06d}", lambda v, n=n: v == str(n % 2)) for n in range(16)])


def browser(lab, run):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                     "--no-first-run", "--window-size=1280,900",
                     f"--user-data-dir={lab.path('profile-' + run)}"):
        options.add_argument(argument)
    service = Service(CHROMEDRIVER, log_output=lab.path(f"chromedriver-{run}.log"))
    return webdriver.Chrome(service=service, options=options)


def safely(script_or_call):
    """A page read that a redraw under way may spoil: None then, and the wait goes on."""
    try:
        return script_or_call()
    except WebDriverException:
        return None


def show(c, driver, run, view):
    """Chooses a view's tab and checks that its view, and only it, shows; whether it did."""
    tab = driver.find_elements(By.ID, f"tab-{view}")
    if tab:
        tab[0].click()
    shown = tab and until(lambda: safely(
        lambda: driver.find_element(By.ID, f"view-{view}").is_displayed()), 5)
    others = [v for v in ("line", "traffic", "watch", "trends", "convert") if v != view and
              any(e.is_displayed() for e in driver.find_elements(By.ID, f"view-{v}"))]
    return c.expect(f"{run}: the {view} tab", shown and not others,
                    f"view-{view} shown: {shown}; also shown: {others}")


def picture(lab, driver, run, view):
    path = lab.artifact(f"console-{run}-{view}.png")
    driver.save_screenshot(path)
    print(f"  screenshot: {path}", flush=True)


def check_line(c, driver, lab, run, gateway, controller):
    show(c, driver, run, "line")
    name = f"{run}: line view"
    # textContent, not the rendered text: the badges are styled upper case.
    def text(id):
        return safely(lambda: driver.find_element(By.ID, id).get_attribute("textContent"))

    connected = until(lambda: text("status") == "connected", 15)
    up = until(lambda: text("line-state") == "up", 15)
    connection = text("line-connection") or ""
    c.found(name, f"status connected: {connected}, line up: {up}, connection {connection!r}")
    c.expect(name, connected and up and controller.line in connection and
             controller.kind in connection.lower(), connection)
    picture(lab, driver, run, "line")
    foreign = [url for url in driver.execute_script(RESOURCES)
               if not url.startswith(f"http://127.0.0.1:{gateway.web_port}/")]
    c.expect(f"{run}: the page loads nothing from elsewhere", not foreign, str(foreign))


def watch_matches(rows, d100):
    """The devices whose value is what the controller holds (D100 as `d100`)."""
    by_device = {row["device"]: row for row in rows or []}
    good = []
    for device, _, judged in EXPECTED:
        row = by_device.get(device)
        try:
            if row and (row["value"] == d100 if judged is None else judged(row["value"])):
                good.append(device)
        except (TypeError, ValueError):
            pass
    return good


def check_watch(c, driver, lab, run, controller):
    show(c, driver, run, "watch")
    items = driver.find_element(By.ID, "watch-items")
    items.clear()
    items.send_keys(ITEMS)
    interval = driver.find_element(By.ID, "watch-interval")
    interval.clear()
    interval.send_keys(str(INTERVAL))
    driver.find_element(By.ID, "watch-apply").click()

    name = f"{run}: watch {ITEMS}"
    rows = []

    def shows(d100):
        rows[:] = safely(lambda: driver.execute_script(WATCH_ROWS)) or []
        return len(watch_matches(rows, d100)) == len(EXPECTED)

    seen = until(lambda: shows("4196"), 10 + INTERVAL)
    c.found(name, f"{len(watch_matches(rows, '4196'))} of {len(EXPECTED)} devices as the "
                  f"controller holds them")
    c.expect(name, seen, f"rows: {rows}")
    name = f"{run}: watch, the reference column"
    by_device = {row["device"]: row["reference"] for row in rows}
    wrong = {device: by_device.get(device) for device, reference, _ in EXPECTED
             if by_device.get(device) != reference}
    c.found(name, f"D100 at {by_device.get('D100')!r}, M0 at {by_device.get('M0')!r}")
    c.expect(name, not wrong, f"the references expected: {[e[:2] for e in EXPECTED][:3]}..., "
                              f"shown: {wrong}")
    picture(lab, driver, run, "watch")

    name = f"{run}: D100 changed inside the controller"
    controller.set_register(mbap.d(100), CHANGED)
    changed_at = time.monotonic()
    seen = until(lambda: shows(str(CHANGED)), INTERVAL + 3, step=0.05)
    took = time.monotonic() - changed_at
    c.found(name, f"the page shows {CHANGED} after {took:.2f} s" if seen else
                  f"not shown within {INTERVAL + 3} s")
    c.expect(name, seen, f"rows: {rows}")


def check_trends(c, driver, lab, run, controller, gateway):
    show(c, driver, run, "trends")
    name = f"{run}: trend chart redrawn while watching"
    first = until(lambda: safely(lambda: driver.execute_script(CHART)), 10)
    # A step in D100, so that the picture changes by more than its time axis moving.
    controller.set_register(mbap.d(100), 3 * CHANGED)
    later = until(lambda: (lambda now: now if now and now != first else None)(
        safely(lambda: driver.execute_script(CHART))), 3 * INTERVAL + 5)
    c.found(name, f"canvas {'redrawn' if later else 'unchanged' if first else 'missing'}")
    c.expect(name, first and later, "the canvas of #trend-chart did not change")
    picture(lab, driver, run, "trends")

    name = f"{run}: /trend.csv"
    seen = {}

    def trended():
        response = get(gateway.web_port, "/trend.csv")
        lines = response[2].decode().splitlines() if response and response[0] == 200 else []
        header = lines[0].split(",") if lines else []
        rows = [line.split(",") for line in lines[1:]]
        column = header.index("D100") if "D100" in header else None
        seen.update(status=response and response[0], header=header, rows=len(rows),
                    d100={row[column] for row in rows if column is not None and
                          len(row) == len(header)},
                    times=all(ISO_MS.match(row[0]) for row in rows), head=lines[:4])
        return header[:1] == ["time"] and rows and seen["times"] and \
            {"4196", str(CHANGED), str(3 * CHANGED)} <= seen["d100"]

    ok = until(trended, 2 * INTERVAL + 5, step=0.5)
    c.found(name, f"status {seen['status']}, columns {seen['header']}, {seen['rows']} rows, "
                  f"D100 values {sorted(seen['d100'])[:6]}")
    c.expect(name, ok, f"times ISO 8601 with ms: {seen['times']}; {seen['head']}")


def check_traffic(c, driver, lab, run, gateway, poll):
    show(c, driver, run, "traffic")
    name = f"{run}: zentriq-poll read D100 in Traffic"
    done = subprocess.run(poll + ["--host", f"127.0.0.1:{gateway.port}", "read", "D100"],
                          capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    c.expect(f"{run}: zentriq-poll read D100 through the gateway", done.returncode == 0,
             done.stdout + done.stderr)
    rows = []

    def polled():
        rows[:] = safely(lambda: driver.execute_script(TRAFFIC_ROWS)) or []
        return [row for row in rows if row["client"].startswith("127.0.0.1:") and
                row["what"] == "read D100"]

    found = until(polled, 10)
    c.found(name, f"{found[0] if found else 'no such row'} among {len(rows)} rows")
    c.expect(name, found and found[0]["outcome"] == "ok", f"rows: {rows[:8]}")
    picture(lab, driver, run, "traffic")

    # The filter: the console's own scans (client "console") go, the client's row stays.
    name = f"{run}: traffic filter"
    box = driver.find_element(By.ID, "traffic-filter")
    box.send_keys("127.0.0.1:")
    filtered = until(lambda: polled() and all("127.0.0.1:" in row["client"] + row["what"]
                                              for row in rows), 5)
    c.expect(name, filtered, f"rows shown: {rows[:8]}")
    box.clear()


def check_browser(c, lab, controller):
    """Writes are allowed in RTU (and checked there), off over Modbus TCP."""
    run = controller.kind
    writes = run == "rtu"
    gateway = start_console(lab, c.command, controller, *(["--web-writes"] if writes else []),
                            name=f"gateway-web-{run}")
    driver = browser(lab, run)

    def view(name):
        return show(c, driver, run, name)

    try:
        driver.get(f"http://127.0.0.1:{gateway.web_port}/")
        check_line(c, driver, lab, run, gateway, controller)
        check_watch(c, driver, lab, run, controller)
        check_trends(c, driver, lab, run, controller, gateway)
        check_traffic(c, driver, lab, run, gateway, c.poll)
        check_convert(c, driver, lab, run, view)
        if writes:
            check_page_writes(c, driver, lab, run, view, controller, gateway)
        else:
            check_writes_off(c, driver, run, view)
    finally:
        driver.quit()
        # The controller as it was found, for the checks that follow.
        controller.set_register(mbap.d(100), 4196)
    lab.stop_named(f"gateway-web-{run}")
