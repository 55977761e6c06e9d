"""The About window and the program's life: one About window at most, its place, frame and
content, every way of closing it, and how the program ends."""

import re

import harness
from screen_reader import ABOUT_TITLE, MAIN_TITLE, ROWS, START_ADDRESSES, modbus_field, plc_field
from test_main_window import (MWM_DECOR_ALL, MWM_DECOR_MAXIMIZE, MWM_DECOR_MINIMIZE, MWM_FUNC_ALL,
                              MWM_FUNC_CLOSE, MWM_FUNC_MAXIMIZE, MWM_FUNC_MINIMIZE, MWM_FUNC_MOVE,
                              MWM_HINTS_DECORATIONS, MWM_HINTS_FUNCTIONS, atoms, icon_sizes, motif_hints)

ABOUT_TEXTS = ["ZENTRIQ V1.00", "DESIGN FOR DELTA PLC  DVP Series ", "SS/ES/EX Series", "SA/SC/SX Series",
               "SV/EH/EH2 Series", "HOLVENT .Co", "November , 13, 2009"]


def open_about(app, how="click"):
    if how == "click":
        app.click("Help")
    else:
        app.desktop.key(how)
    wid = app.x_window(ABOUT_TITLE)
    app.wait(lambda: app.desktop.active_window() == wid, "the About window to become active")
    app.wait_focus("OK", title=ABOUT_TITLE)
    return wid


def wm_state(app, wid):
    return re.search(r"window state: (\w+)", app.desktop.xprop(wid, "WM_STATE")).group(1)


def minimize(app, wid):
    """Minimizes a window as the window manager's own button or key does."""
    app.desktop.xdotool("windowminimize", "--sync", wid)
    app.wait(lambda: wm_state(app, wid) == "Iconic", "the window to be iconic")


def converts_in_main_window(app, typed="100", shown="0E64"):
    """Brings the main window to the front (the About window covers its upper rows), types into the
    C row and waits for its address: the main window is usable, and every event sent before has
    been handled."""
    app.activate(MAIN_TITLE)
    app.replace_text(plc_field("C"), typed)
    app.wait_text(modbus_field("C"), shown)


class AboutWindow(harness.AppTestCase):
    def test_help_twice_shows_one_about_window(self):
        app = self.launch()
        open_about(app)
        app.click("Help")
        converts_in_main_window(app)
        self.assertEqual(len(app.x_windows_titled(ABOUT_TITLE)), 1)
        self.assertEqual(len(app.windows_named(ABOUT_TITLE)), 1)

    def test_help_brings_a_minimized_about_window_back_normal_and_active(self):
        app = self.launch()
        wid = open_about(app)
        minimize(app, wid)
        app.click("Help")
        app.wait(lambda: wm_state(app, wid) == "Normal", "the About window to be normal")
        app.wait(lambda: app.desktop.active_window() == wid, "the About window to become active")
        app.wait_focus("OK", title=ABOUT_TITLE)
        self.assertNotIn("_NET_WM_STATE_HIDDEN", atoms(app.desktop, wid, "_NET_WM_STATE"))

    def test_opens_at_480_194_fixed_at_328_by_214_with_a_close_box_only(self):
        app = self.launch()
        wid = open_about(app)
        desktop = app.desktop
        self.assertEqual(desktop.geometry(wid), (480, 194, 328, 214))
        hints = desktop.xprop(wid, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 328 by 214", hints)
        self.assertIn("maximum size: 328 by 214", hints)
        flags, functions, decorations = motif_hints(desktop, wid)[:3]
        self.assertTrue(flags & MWM_HINTS_FUNCTIONS)
        self.assertFalse(functions & (MWM_FUNC_ALL | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE))
        self.assertTrue(functions & MWM_FUNC_CLOSE)
        self.assertTrue(functions & MWM_FUNC_MOVE)
        self.assertTrue(flags & MWM_HINTS_DECORATIONS)
        self.assertFalse(decorations & (MWM_DECOR_ALL | MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE))
        # Openbox works out what it allows from the size hints; it keeps minimize for every window.
        allowed = atoms(desktop, wid, "_NET_WM_ALLOWED_ACTIONS")
        self.assertIn("_NET_WM_ACTION_CLOSE", allowed)
        for action in ("RESIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT"):
            self.assertNotIn(f"_NET_WM_ACTION_{action}", allowed)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", atoms(desktop, wid, "_NET_WM_STATE"))
        self.assertIn("not found", desktop.xprop(wid, "WM_TRANSIENT_FOR"), "no owner window")
        self.assertLessEqual({"16 x 16", "32 x 32", "48 x 48"}, icon_sizes(desktop, wid))

    def test_screen_reader_reads_the_fixed_texts_and_the_photograph(self):
        app = self.launch()
        open_about(app)
        labels = {n.name for n in app.nodes(ABOUT_TITLE) if n.getRoleName() == "label"}
        self.assertLessEqual(set(ABOUT_TEXTS), labels)
        # The rights notice, web and e-mail address: one line each, and there.
        self.assertEqual(len(labels), len(ABOUT_TEXTS) + 3)
        self.assertTrue(all(text and "\n" not in text for text in labels))
        photo = [n for n in app.nodes(ABOUT_TITLE) if n.getRoleName() == "image"]
        self.assertEqual(len(photo), 1)
        x, y, w, h = app.extents(photo[0])
        self.assertEqual((x - 480, y - 194, w, h), (8, 8, 80, 104))
        self.assertEqual(app.extents(app.find("OK", title=ABOUT_TITLE)), (480 + 232, 194 + 160, 84, 23))

    def test_enter_esc_ok_and_close_box_each_close_it_and_help_opens_it_again(self):
        app = self.launch()
        ways = {
            "Escape": lambda: app.desktop.key("Escape"),
            "Return": lambda: app.desktop.key("Return"),
            "click on OK": lambda: app.click("OK", title=ABOUT_TITLE),
            "close box": lambda: app.close_box(ABOUT_TITLE),
            "window manager's close (Alt+F4)": lambda: app.desktop.key("alt+F4"),
        }
        for how, close in ways.items():
            with self.subTest(how):
                open_about(app)
                close()
                app.wait_x_window_gone(ABOUT_TITLE)
                app.wait(lambda: not app.windows_named(ABOUT_TITLE), "the About window to leave the tree")
                self.assertTrue(app.running())
                self.assertEqual(list(app.x_windows().values()), [MAIN_TITLE])
                converts_in_main_window(app, typed=str(len(how)), shown=f"0E{len(how):02X}")

    def test_main_window_stays_usable_while_about_is_open(self):
        app = self.launch()
        open_about(app)
        app.activate(MAIN_TITLE)
        for row in ROWS:
            with self.subTest(row):
                app.replace_text(plc_field(row), "1")
                app.wait(lambda r=row: app.text(modbus_field(r)) != START_ADDRESSES[r], f"{row} to convert")
        self.assertEqual(len(app.x_windows_titled(ABOUT_TITLE)), 1)
        # The main window has no hold on the About window: it can be put in front of it.
        main = app.activate(MAIN_TITLE)
        stacking = app.desktop.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"])
        ids = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", stacking)]
        self.assertGreater(ids.index(main), ids.index(app.x_window(ABOUT_TITLE)), "main window on top")


class Ending(harness.AppTestCase):
    def test_exit_ends_the_program(self):
        app = self.launch()
        app.click("Exit")
        self.assertEqual(app.wait_exit(), 0)

    def test_exit_with_about_open_ends_the_program_and_closes_both(self):
        app = self.launch()
        open_about(app)
        app.activate(MAIN_TITLE)
        app.click("Exit")
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.x_windows(), {})

    def test_closing_the_main_window_alone_ends_the_program(self):
        app = self.launch()
        app.close_box(MAIN_TITLE)
        self.assertEqual(app.wait_exit(), 0)

    def test_program_runs_on_after_the_main_window_until_about_closes(self):
        # A minimized About window has no taskbar entry: closing the main window brings it back.
        for minimized in (False, True):
            with self.subTest(minimized=minimized):
                app = self.launch()
                wid = open_about(app)
                if minimized:
                    minimize(app, wid)
                app.activate(MAIN_TITLE)
                app.close_box(MAIN_TITLE)
                app.wait_x_window_gone(MAIN_TITLE)
                app.assert_stays(lambda: app.running() and app.x_windows_titled(ABOUT_TITLE),
                                 "the program running with its About window")
                self.assertEqual(wm_state(app, wid), "Normal")
                app.activate(ABOUT_TITLE)
                app.wait_focus("OK", title=ABOUT_TITLE)
                app.desktop.key("Escape")
                self.assertEqual(app.wait_exit(), 0)


if __name__ == "__main__":
    harness.main()
