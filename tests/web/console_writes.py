"""The console's converter and its writes, as an engineer uses them in Chromium: a device name or
an address turned into every other notation, and a value written by device name, confirmed in
the page's own dialog, read back, seen inside the controller and in the traffic view."""

import math
import struct

import mbap
from console_lab import console_page, post_write, until
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

# What the page shows: every row of a table as {cell class: text}, and a message box's text.
TABLE = """return Array.from(document.querySelectorAll(arguments[0] + ' tr')).map(tr =>
    Object.fromEntries(Array.from(tr.cells).map(td => [td.className, td.textContent.trim()])));"""
TEXT = "const e = document.getElementById(arguments[0]); return e.hidden ? '' : e.textContent;"

# (what is typed, Numbers, how it is asked, what must show). In this order, each answer differs
# from the one before it, so that a stale answer cannot pass for a new one. The ambiguous number
# names both devices: 0x1064 is D100, decimal 1064 = 0x0428 is X50.
CONVERT_ROWS = [
    ("D100", "any", "enter", {"rows": [("D100", "1064", "404197")]}),
    ("1064", "any", "button", {"message": ["D100", "X50"]}),
    ("1064", "hex", "button", {"rows_at": "1064", "device": "D100"}),
]


def f32_low_word_first(words):
    return struct.unpack("<f", struct.pack("<HH", *words))[0]


def d100(controller):
    return controller.registers(mbap.d(100), 1)[0]


def d200_f32(controller):
    return f32_low_word_first(controller.registers(mbap.d(200), 2))


def present(c, driver, run, *ids):
    """Whether the page has every one of `ids`: a fault, not a crash, when one is missing."""
    missing = [id for id in ids if not driver.find_elements(By.ID, id)]
    return c.expect(f"{run}: the page's elements", not missing, f"missing: {missing}")


WRITE_IDS = ("write-form", "write-item", "write-go", "write-off", "write-result", "write-confirm",
             "write-yes", "write-no")


def snap(lab, driver, name):
    path = lab.artifact(f"console-{name}.png")
    driver.save_screenshot(path)
    print(f"  screenshot: {path}", flush=True)


def check_convert(c, driver, lab, run, show):
    if not show("convert") or not present(c, driver, run, "convert-input", "convert-numbers",
                                          "convert-go", "convert-result", "convert-message"):
        return
    box = driver.find_element(By.ID, "convert-input")
    for text, numbers, how, want in CONVERT_ROWS:
        name = f"{run}: convert {text} (numbers {numbers})"
        Select(driver.find_element(By.ID, "convert-numbers")).select_by_value(numbers)
        box.clear()
        box.send_keys(text + ("\n" if how == "enter" else ""))
        if how == "button":
            driver.find_element(By.ID, "convert-go").click()
        seen = {}

        def answered():
            seen["rows"] = driver.execute_script(TABLE, "#convert-result")
            seen["message"] = driver.execute_script(TEXT, "convert-message")
            rows = [(r.get("device"), r.get("address"), r.get("reference")) for r in seen["rows"]]
            if "rows" in want:
                return rows == want["rows"]
            if "message" in want:
                return not rows and all(part in seen["message"] for part in want["message"])
            return rows and want["device"] in [r[0] for r in rows] and \
                all(r[1] == want["rows_at"] for r in rows)

        ok = until(answered, 5)
        c.found(name, f"rows {seen['rows']}, message {seen['message']!r}")
        c.expect(name, ok, f"want {want}")
    snap(lab, driver, f"{run}-convert")


# (typed, shown in the dialog: device, address, reference, value; the answer; the controller's
# value afterwards as read through its panel; that value)
WRITE_ROWS = [
    ("D100=250", ("D100", "1064", "404197", "250"), "yes", d100, 250),
    ("D100=999", ("D100", "1064", "404197", "999"), "no", d100, 250),
    ("D200:f32=21.5", ("D200:f32", "10C8", "404297", "21.5"), "yes", d200_f32, 21.5),
]


def holds(read, value):
    return math.isclose(read, value, rel_tol=1e-6)


def check_page_writes(c, driver, lab, run, show, controller, gateway):
    show("watch")
    if not present(c, driver, run, *WRITE_IDS):
        return
    c.expect(f"{run}: writes offered with --web-writes",
             driver.find_element(By.ID, "write-form").is_displayed() and
             not driver.find_element(By.ID, "write-off").is_displayed(), "#write-form hidden")
    dialog = driver.find_element(By.ID, "write-confirm")
    item = driver.find_element(By.ID, "write-item")
    since = gateway.mark()
    for typed, shown, answer, read, value in WRITE_ROWS:
        name = f"{run}: write {typed} from the page, answered {answer}"
        before = read(controller)
        item.clear()
        item.send_keys(typed)
        driver.find_element(By.ID, "write-go").click()
        asked = until(dialog.is_displayed, 5)
        rows = driver.execute_script(TABLE, "#write-confirm-rows")
        named = [(r.get("device"), r.get("address"), r.get("reference"), r.get("value"))
                 for r in rows]
        # Asking must write nothing.
        c.expect(f"{name}: the dialog", asked and named == [shown] and
                 holds(read(controller), before),
                 f"shown {asked}, rows {named}, want {[shown]}; the controller holds "
                 f"{read(controller)}, had {before}")
        driver.find_element(By.ID, f"write-{answer}").click()
        result = []

        def outcome():
            result[:] = driver.execute_script(TABLE, "#write-result table tbody") or []
            text = driver.execute_script(TEXT, "write-result")
            return not dialog.is_displayed() and (
                answer == "no" and text or result and result[0].get("read_back") == shown[3])

        done = until(outcome, 10)
        in_controller = read(controller)
        c.found(name, f"result {result or driver.execute_script(TEXT, 'write-result')!r}, "
                      f"the controller holds {in_controller}")
        c.expect(name, done and holds(in_controller, value),
                 f"want {value} read back and held; dialog still open: {dialog.is_displayed()}")
    snap(lab, driver, f"{run}-write")

    # Refused by the gateway: its own words on the page, and no dialog.
    typed = "X17=on"  # a discrete input: read only
    with console_page(gateway.web_port) as page:
        refusal = post_write(gateway.web_port, typed, False, (page or {}).get("token"))
    item.clear()
    item.send_keys(typed + "\n")
    text = []
    said = until(lambda: text.append(driver.execute_script(TEXT, "write-result")) or
                 refusal and refusal[1] and refusal[1].get("error") and
                 text[-1].strip() == refusal[1]["error"], 5)
    c.found(f"{run}: write {typed} from the page", f"shows {text[-1]!r}; the gateway said "
                                                     f"{refusal}")
    c.expect(f"{run}: write {typed} from the page", said and refusal[0] == 400 and
             not dialog.is_displayed(), "want the 400's error text, no dialog")

    name = f"{run}: the page's write in Traffic and the gateway's log"
    show("traffic")
    rows = []

    def logged():
        rows[:] = driver.execute_script(TABLE, "#traffic") or []
        return [r for r in rows if r.get("client", "").startswith("console 127.0.0.1:") and
                r.get("what") == "write D100=250"]

    found = until(logged, 5)
    line = gateway.wait_for(r"console 127\.0\.0\.1:\d+ .*D100=250", 5, since)
    c.found(name, f"{found[0] if found else 'no row'}; log: {line.string if line else None}")
    c.expect(name, found and line, f"rows: {rows[:6]}")
    # The controller as it was found, for the checks that follow.
    controller.set_register(mbap.d(100), 4196)
    low, high = struct.unpack("<HH", struct.pack("<f", 0.1))
    mbap.exchange(controller.panel, mbap.write_registers(mbap.d(200), [low, high]))


def check_writes_off(c, driver, run, show):
    show("watch")
    if not present(c, driver, run, *WRITE_IDS):
        return
    text = driver.execute_script(TEXT, "write-off")
    c.found(f"{run}: writes without --web-writes", repr(text))
    c.expect(f"{run}: writes without --web-writes",
             "--web-writes" in text and not driver.find_element(By.ID, "write-form").is_displayed(),
             "#write-off must say so and #write-form stay hidden")
