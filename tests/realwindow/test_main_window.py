"""The main window as a user and a screen reader meet it: start-up state, place and frame,
conversion while typing, the series choice for the D row, and Reset."""

import re

import harness
from screen_reader import MAIN_TITLE, ROWS, SERIES, START_ADDRESSES, modbus_field, plc_field

# _MOTIF_WM_HINTS bits (flags, functions, decorations).
MWM_HINTS_FUNCTIONS, MWM_HINTS_DECORATIONS = 0x1, 0x2
MWM_FUNC_ALL, MWM_FUNC_RESIZE, MWM_FUNC_MOVE = 0x1, 0x2, 0x4
MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 0x8, 0x10, 0x20
MWM_DECOR_ALL, MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 0x1, 0x20, 0x40


def motif_hints(desktop, wid):
    text = desktop.xprop(wid, "_MOTIF_WM_HINTS")
    return [int(v, 16) for v in text.split("=")[1].split(",")]


def atoms(desktop, wid, prop):
    text = desktop.xprop(wid, prop)
    return set() if "=" not in text else {a.strip() for a in text.split("=")[1].split(",") if a.strip()}


def icon_sizes(desktop, wid):
    return set(re.findall(r"Icon \((\d+ x \d+)\)", desktop.run(["xprop", "-id", str(wid), "_NET_WM_ICON"])))


class StartUp(harness.AppTestCase):
    def test_opens_with_device_0_addresses_and_first_series(self):
        app = self.launch()
        self.assertEqual(app.texts(modbus_field(r) for r in ROWS),
                         {modbus_field(r): START_ADDRESSES[r] for r in ROWS})
        self.assertEqual(app.texts(plc_field(r) for r in ROWS), {plc_field(r): "0" for r in ROWS})
        self.assertEqual([app.checked(s) for s in SERIES], [True, False, False])
        self.assertEqual(app.focused_name(), modbus_field("D"))

    def test_screen_reader_finds_every_control_by_name_and_role(self):
        app = self.launch()
        expected = {plc_field(r): "text" for r in ROWS}
        expected.update({modbus_field(r): "text" for r in ROWS})
        expected.update({s: "radio button" for s in SERIES})
        expected.update({b: "push button" for b in ("Reset", "Exit", "Help")})
        for name, role in expected.items():
            with self.subTest(name):
                node = app.find(name)
                self.assertEqual(node.getRoleName(), role)
                self.assertTrue(app.has_state(node, "showing"))
                self.assertTrue(app.has_state(node, "focusable"))
        for name in expected:
            if expected[name] == "text":
                with self.subTest(name, editable=True):
                    self.assertTrue(app.has_state(app.find(name), "editable"))

    def test_client_area_at_468_195_and_320_by_387(self):
        app = self.launch()
        self.assertEqual(app.desktop.geometry(app.x_window(MAIN_TITLE)), (468, 195, 320, 387))

    def test_frame_is_resizable_with_minimize_and_close_but_no_maximize(self):
        app = self.launch()
        desktop = app.desktop
        wid = app.x_window(MAIN_TITLE)
        flags, functions, decorations = motif_hints(desktop, wid)[:3]
        self.assertTrue(flags & MWM_HINTS_FUNCTIONS, "functions are given")
        self.assertFalse(functions & MWM_FUNC_ALL)
        self.assertFalse(functions & MWM_FUNC_MAXIMIZE, "no maximize")
        for bit, what in ((MWM_FUNC_RESIZE, "resize"), (MWM_FUNC_MOVE, "move"),
                          (MWM_FUNC_MINIMIZE, "minimize"), (MWM_FUNC_CLOSE, "close")):
            self.assertTrue(functions & bit, what)
        if flags & MWM_HINTS_DECORATIONS:
            self.assertFalse(decorations & MWM_DECOR_ALL)
            self.assertFalse(decorations & MWM_DECOR_MAXIMIZE, "no maximize button")
            self.assertTrue(decorations & MWM_DECOR_MINIMIZE, "a minimize button")
        allowed = atoms(desktop, wid, "_NET_WM_ALLOWED_ACTIONS")
        self.assertLessEqual({"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE",
                              "_NET_WM_ACTION_MOVE"}, allowed)
        hints = desktop.xprop(wid, "WM_NORMAL_HINTS")
        minimum = re.search(r"minimum size: (\d+) by (\d+)", hints)
        maximum = re.search(r"maximum size: (\d+) by (\d+)", hints)
        self.assertFalse(minimum and maximum and minimum.groups() == maximum.groups(), "not fixed-size")
        self.assertNotIn("_NET_WM_STATE_SKIP_TASKBAR", atoms(desktop, wid, "_NET_WM_STATE"))
        self.assertLessEqual({"16 x 16", "32 x 32", "48 x 48"}, icon_sizes(desktop, wid))

    def test_maximizing_by_the_window_manager_has_no_effect(self):
        app = self.launch()
        desktop = app.desktop
        wid = app.x_window(MAIN_TITLE)
        x, y, w, _ = desktop.geometry(wid)
        _, right, top, _ = (int(v) for v in desktop.xprop(wid, "_NET_FRAME_EXTENTS").split("=")[1].split(","))
        # Openbox maximizes whatever the window's hints say: both ways on a double-click on the title
        # bar, one way on a middle or right click on its maximize button, left of the close box.
        maximize_button = (x + w + right - top // 2 - 1 - top, y - top // 2 - 1)
        ways = {"double-click on the title bar": ((x + w // 2, y - top // 2), ["--repeat", "2", "--delay", "80", "1"]),
                "middle click on maximize": (maximize_button, ["2"]),
                "right click on maximize": (maximize_button, ["3"])}
        for how, ((px, py), click) in ways.items():
            with self.subTest(how):
                desktop.xdotool("mousemove", px, py, "click", *click)
                app.assert_stays(lambda: desktop.geometry(wid) == (468, 195, 320, 387), "320 x 387 at 468, 195")
                self.assertFalse(atoms(desktop, wid, "_NET_WM_STATE") & {"_NET_WM_STATE_MAXIMIZED_VERT",
                                                                         "_NET_WM_STATE_MAXIMIZED_HORZ"})

    def test_enlarging_the_window_moves_no_control(self):
        app = self.launch()
        wid = app.x_window(MAIN_TITLE)
        names = [plc_field("S"), modbus_field("D"), "Reset", "Exit", "EH/EH2/SV"]
        before = {n: app.extents(app.find(n)) for n in names}
        app.desktop.xdotool("windowsize", "--sync", wid, 420, 487)
        app.wait(lambda: app.desktop.geometry(wid)[2:] == (420, 487), "the window to be 420 x 487")
        self.assertEqual({n: app.extents(app.find(n)) for n in names}, before)


# (row, typed text, Modbus text): the device kinds' boundaries and their typed forms.
TYPING = [
    ("D", "5", "1005"),
    ("D", "-1", "FFF"),
    ("M", "1535", "0DFF"),
    ("M", "1536", "B000"),
    ("C", "200", "0EC8"),
    ("C", "512", "01000"),
    ("C", "12abc", "0E0C"),
    ("T", "255", "06FF"),
    ("T", "-1", "05FF"),
    ("X", "17", "040F"),
    ("X", "8", "0408"),
    ("X", "377", "04FF"),
    ("Y", "17", "050F"),
    ("Y", "377", "05FF"),
    ("S", "15", "000F"),
    ("S", "16", "0010"),
    ("S", "255", "00FF"),
    ("S", "256", "100"),
    ("S", "15.4", "00F"),
]


class Typing(harness.AppTestCase):
    def test_each_row_converts_as_it_is_typed(self):
        app = self.launch()
        for row, typed, shown in TYPING:
            with self.subTest(row=row, typed=typed):
                app.replace_text(plc_field(row), typed)
                app.wait_text(modbus_field(row), shown)
                self.assertEqual(app.text(plc_field(row)), typed)

    def test_every_keystroke_converts_and_clearing_shows_device_0(self):
        app = self.launch()
        app.replace_text(plc_field("X"), "")
        app.wait_text(modbus_field("X"), "0400")
        for typed_so_far, shown in (("1", "0401"), ("17", "040F"), ("177", "047F")):
            with self.subTest(typed_so_far):
                app.desktop.type(typed_so_far[-1])
                app.wait_text(modbus_field("X"), shown)
        app.desktop.key("BackSpace", "BackSpace")
        app.wait_text(modbus_field("X"), "0401")
        app.desktop.key("BackSpace")
        app.wait_text(modbus_field("X"), "0400")
        self.assertEqual(app.text(plc_field("X")), "")

    def test_typing_a_row_changes_no_other_row(self):
        app = self.launch()
        app.replace_text(plc_field("T"), "100")
        app.wait_text(modbus_field("T"), "0664")
        others = {modbus_field(r): START_ADDRESSES[r] for r in ROWS if r != "T"}
        self.assertEqual(app.texts(others), others)

    def test_typing_into_a_modbus_field_changes_nothing_else(self):
        app = self.launch()
        app.replace_text(modbus_field("C"), "hello")
        app.wait_text(modbus_field("C"), "hello")
        others = {modbus_field(r): START_ADDRESSES[r] for r in ROWS if r != "C"}
        others.update({plc_field(r): "0" for r in ROWS})
        self.assertEqual(app.texts(others), others)
        # The next change of the row's PLC field overwrites it.
        app.replace_text(plc_field("C"), "1")
        app.wait_text(modbus_field("C"), "0E01")


class Series(harness.AppTestCase):
    def test_d_row_converts_only_under_ss_es_ex(self):
        app = self.launch()
        app.replace_text(plc_field("D"), "5")
        app.wait_text(modbus_field("D"), "1005")
        # Choosing another series recomputes nothing; typing then leaves the D address as it is.
        for series, choose in (("SA/SX/SC", "click"), ("EH/EH2/SV", "arrow")):
            with self.subTest(series):
                if choose == "click":
                    app.click(series)
                else:
                    app.click(SERIES[1])
                    app.wait(lambda: app.checked(SERIES[1]), "SA/SX/SC on")
                    app.desktop.key("Right")
                    app.wait_focus(series)
                app.wait(lambda s=series: app.checked(s), f"{series} on")
                self.assertEqual([app.checked(s) for s in SERIES], [s == series for s in SERIES])
                self.assertEqual(app.text(modbus_field("D")), "1005")
                app.replace_text(plc_field("D"), "77")
                # The C row is a witness that the keystrokes were handled.
                app.replace_text(plc_field("C"), "1")
                app.wait_text(modbus_field("C"), "0E01")
                self.assertEqual(app.text(plc_field("D")), "77")
                self.assertEqual(app.text(modbus_field("D")), "1005")
                app.replace_text(plc_field("C"), "0")
        app.click(SERIES[0])
        app.wait(lambda: app.checked(SERIES[0]), "SS/ES/EX on again")
        self.assertEqual(app.text(modbus_field("D")), "1005")
        app.replace_text(plc_field("D"), "12")
        app.wait_text(modbus_field("D"), "100C")

    def test_arrow_keys_move_among_the_options_and_turn_them_on(self):
        app = self.launch()
        app.click(SERIES[0])
        app.wait_focus(SERIES[0])
        for key, series in (("Right", SERIES[1]), ("Right", SERIES[2]), ("Left", SERIES[1]),
                            ("Left", SERIES[0])):
            with self.subTest(key=key, series=series):
                app.desktop.key(key)
                app.wait_focus(series)
                app.wait(lambda s=series: app.checked(s), f"{series} on")
                self.assertEqual(sum(app.checked(s) for s in SERIES), 1)


class Reset(harness.AppTestCase):
    TYPED = {"D": "5", "M": "1536", "C": "200", "T": "255", "X": "17", "Y": "377", "S": "256"}

    def type_every_row(self, app):
        for row, typed in self.TYPED.items():
            app.replace_text(plc_field(row), typed)
        app.wait_text(modbus_field("S"), "100")

    def test_reset_sets_every_row_to_device_0(self):
        app = self.launch()
        self.type_every_row(app)
        app.click("Reset")
        for row in ROWS:
            with self.subTest(row):
                app.wait_text(modbus_field(row), START_ADDRESSES[row])
                self.assertEqual(app.text(plc_field(row)), "0")
        self.assertTrue(app.checked(SERIES[0]))

    def test_reset_restores_a_modbus_field_typed_over_while_its_row_reads_0(self):
        app = self.launch()
        app.replace_text(modbus_field("M"), "junk")
        app.replace_text(modbus_field("D"), "more")
        app.wait_text(modbus_field("D"), "more")
        app.click("Reset")
        app.wait_text(modbus_field("M"), "0800")
        app.wait_text(modbus_field("D"), "1000")

    def test_reset_under_eh_eh2_sv_leaves_the_d_address_and_the_series(self):
        app = self.launch()
        self.type_every_row(app)
        app.click("EH/EH2/SV")
        app.wait(lambda: app.checked("EH/EH2/SV"), "EH/EH2/SV on")
        app.click("Reset")
        for row in ROWS[1:]:
            with self.subTest(row):
                app.wait_text(modbus_field(row), START_ADDRESSES[row])
        self.assertEqual(app.text(plc_field("D")), "0")
        self.assertEqual(app.text(modbus_field("D")), "1005")
        self.assertEqual([app.checked(s) for s in SERIES], [False, False, True])


if __name__ == "__main__":
    harness.main()
