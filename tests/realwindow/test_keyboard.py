"""The main window from the keyboard alone: the tab cycle and the access keys."""

import harness
from screen_reader import ABOUT_TITLE, SERIES, modbus_field, plc_field


def tab_cycle(option_on):
    """The 18 stops after d_modbus, ending on d_modbus again; the one option stop is the one on."""
    return [modbus_field("D"), "Reset", option_on,
            plc_field("M"), modbus_field("M"), plc_field("C"), modbus_field("C"),
            plc_field("T"), modbus_field("T"), plc_field("X"), modbus_field("X"),
            modbus_field("Y"), modbus_field("S"), plc_field("D"), plc_field("Y"), plc_field("S"),
            "Exit", "Help"]


class TabOrder(harness.AppTestCase):
    def walk(self, app, key, steps):
        seen = []
        for _ in range(steps):
            before = app.focused_name()
            app.desktop.key(key)
            app.wait(lambda b=before: app.focused_name() not in (None, b), f"the focus to leave {before!r}")
            seen.append(app.focused_name())
        return seen

    def test_tab_visits_18_stops_in_order_with_the_option_that_is_on(self):
        app = self.launch()
        for series in (SERIES[0], SERIES[2]):
            with self.subTest(option_on=series):
                if series != SERIES[0]:
                    app.click(series)
                    app.wait(lambda s=series: app.checked(s), f"{series} on")
                    app.click(modbus_field("D"))
                app.wait_focus(modbus_field("D"))
                expected = tab_cycle(series)
                self.assertEqual(self.walk(app, "Tab", 18), expected[1:] + expected[:1])

    def test_shift_tab_walks_the_cycle_backwards(self):
        app = self.launch()
        expected = tab_cycle(SERIES[0])
        self.assertEqual(self.walk(app, "shift+Tab", 18), list(reversed(expected)))


class AccessKeys(harness.AppTestCase):
    def test_alt_r_presses_reset(self):
        app = self.launch()
        app.replace_text(plc_field("X"), "17")
        app.wait_text(modbus_field("X"), "040F")
        app.desktop.key("alt+r")
        app.wait_text(plc_field("X"), "0")
        app.wait_text(modbus_field("X"), "0400")

    def test_alt_p_and_alt_m_move_the_focus_to_reset_without_pressing_it(self):
        app = self.launch()
        for key in ("alt+p", "alt+m"):
            with self.subTest(key):
                app.replace_text(plc_field("X"), "17")
                app.wait_text(modbus_field("X"), "040F")
                app.desktop.key(key)
                app.wait_focus("Reset")
                app.assert_stays(lambda: app.text(plc_field("X")) == "17", "X PLC address still 17")
        # The focus really is on the button: Space presses it.
        app.desktop.key("space")
        app.wait_text(plc_field("X"), "0")

    def test_alt_h_opens_the_about_window(self):
        app = self.launch()
        app.desktop.key("alt+h")
        app.x_window(ABOUT_TITLE)
        app.wait_focus("OK", title=ABOUT_TITLE)

    def test_alt_e_ends_the_program(self):
        app = self.launch()
        app.desktop.key("alt+e")
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.x_windows(), {})


if __name__ == "__main__":
    harness.main()
