"""Both windows at twice the size (QT_SCALE_FACTOR=2) on a real display: their size in device
pixels, a click and a keystroke landing where they should, and, from inside the program's own
widgets (text_fit_test), every control inside its window with its text not cut off."""

import os
import subprocess

import harness
from desktop import STEP_TIMEOUT
from screen_reader import ABOUT_TITLE, MAIN_TITLE, modbus_field, plc_field

SCALE = 2


class HighDpi(harness.AppTestCase):
    extra_env = {"QT_SCALE_FACTOR": str(SCALE)}

    def test_both_windows_are_twice_their_size_in_device_pixels(self):
        app = self.launch()
        app.desktop.key("alt+h")
        self.assertEqual(app.desktop.geometry(app.x_window(MAIN_TITLE))[2:], (640, 774))
        self.assertEqual(app.desktop.geometry(app.x_window(ABOUT_TITLE))[2:], (656, 428))

    def test_a_click_on_a_field_and_typing_convert_as_at_normal_size(self):
        app = self.launch()
        # Qt 6.4 reports AT-SPI positions in device-independent pixels even when scaled, so the
        # field's place on the screen is worked out from the window's place in device pixels.
        wx, wy, _, _ = app.desktop.geometry(app.x_window(MAIN_TITLE))
        lx, ly, _, _ = app.extents(app.window())
        x, y, w, h = app.extents(app.find(plc_field("X")))
        app.desktop.click(wx + SCALE * (x - lx + w // 2), wy + SCALE * (y - ly + h // 2))
        app.wait_focus(plc_field("X"))
        app.desktop.key("ctrl+a")
        app.desktop.type("17")
        app.wait_text(modbus_field("X"), "040F")

    def test_every_control_inside_its_window_and_every_text_fits(self):
        program = os.environ.get("ZENTRIQ_TEXT_FIT_TEST")
        self.assertTrue(program and os.access(program, os.X_OK), "ZENTRIQ_TEXT_FIT_TEST names no program")
        env = dict(harness.DESKTOP.env, QT_QPA_PLATFORM="xcb")
        result = subprocess.run([program], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=6 * STEP_TIMEOUT)
        failures = [line for line in result.stdout.splitlines()
                    if line.startswith(("FAIL!", "   Loc:", "XPASS", "QWARN")) or "Totals" in line]
        self.assertEqual(result.returncode, 0, "\n".join(failures) or result.stdout + result.stderr)


if __name__ == "__main__":
    harness.main()
