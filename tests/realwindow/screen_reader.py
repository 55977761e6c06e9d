"""The program as a user and a screen reader meet it.

An `App` is one zentriq process on a `desktop.Desktop`. It is driven only by
real X input events and read only through AT-SPI (pyatspi) and the X tools, so
what the tests see is what a user and a screen reader get, not what the
program's objects claim about themselves.
"""

import os
import subprocess
import tempfile
import time

from desktop import STEP_TIMEOUT, kill_group, wait_until

MAIN_TITLE = "ZENTRIQ V1.00"
ABOUT_TITLE = "ZENTRIQ V1.00  [DELTA DVP Series ..."
ROWS = "DMCTXYS"  # the order of the rows on screen
SERIES = ("SS/ES/EX", "SA/SX/SC", "EH/EH2/SV")
START_ADDRESSES = {"D": "1000", "M": "0800", "C": "0E00", "T": "0600", "X": "0400", "Y": "0500",
                   "S": "0000"}


def plc_field(row):
    return f"{row} PLC address"


def modbus_field(row):
    return f"{row} Modbus address"


def _atspi():
    # Imported only once the private buses exist: pyatspi connects when it is imported.
    import pyatspi

    return pyatspi


class App:
    """One zentriq process on the desktop, read through AT-SPI and the X tools."""

    def __init__(self, desktop, program, extra_env=None):
        self.desktop = desktop
        self.program = program
        self.extra_env = extra_env or {}
        self.proc = None
        self._log_path = None
        self._atspi_app = None
        self._nodes = {}  # window title -> its accessible descendants

    # --- life cycle -----------------------------------------------------------------

    def start(self):
        env = dict(self.desktop.env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1", **self.extra_env)
        fd, self._log_path = tempfile.mkstemp(prefix="zentriq-", suffix=".log", dir=self.desktop.tmp)
        with os.fdopen(fd, "w") as log:
            self.proc = self.desktop.spawn([self.program], env=env, stdout=log, stderr=log)
        pyatspi = _atspi()

        def accessible_app():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                candidate = desktop.getChildAtIndex(i)
                if candidate is not None and candidate.get_process_id() == self.proc.pid:
                    # No caching: every read asks the program, as the state may have just changed.
                    candidate.set_cache_mask(pyatspi.Atspi.Cache.NONE)
                    return candidate
            return None

        self._atspi_app = self.wait(accessible_app, "the program on the accessibility bus")
        main = self.x_window(MAIN_TITLE)
        self.wait(lambda: self.desktop.active_window() == main, "the main window to become active")
        self.wait(lambda: self.focused() is not None, "a focused control in the main window")
        return self

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            kill_group(self.proc)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def log_tail(self, lines=20):
        try:
            with open(self._log_path, errors="replace") as log:
                return "".join(log.readlines()[-lines:])
        except (OSError, TypeError):
            return ""

    def wait(self, predicate, what, timeout=STEP_TIMEOUT):
        """wait_until, but fails at once, with the program's output, if the program has ended."""

        def check():
            if self.proc.poll() is not None:
                raise _ProgramEnded(self.proc.returncode)
            return predicate()

        try:
            return wait_until(check, what, timeout)
        except _ProgramEnded as ended:
            raise AssertionError(f"zentriq ended (status {ended.status}) while waiting for {what}\n"
                                 f"{self.log_tail()}") from None

    def assert_stays(self, predicate, what, duration=0.5):
        """Checks that nothing happens: predicate() holds throughout `duration` seconds. A Qt button
        presses itself 100 ms after its access key (animateClick), so half a second is ample."""
        deadline = time.monotonic() + duration
        while time.monotonic() < deadline:
            if not predicate():
                raise AssertionError(f"{what} no longer holds")
            time.sleep(0.05)

    def wait_exit(self, timeout=STEP_TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"zentriq still running {timeout:g} s later") from None

    def running(self):
        return self.proc.poll() is None

    # --- X windows ------------------------------------------------------------------

    def x_windows(self):
        return self.desktop.windows_of(self.proc.pid)

    def x_windows_titled(self, title):
        return [wid for wid, name in self.x_windows().items() if name == title]

    def x_window(self, title):
        """The one mapped X window with this title (waits for it to appear)."""
        return self.wait(lambda: (lambda found: found[0] if len(found) == 1 else None)(
            self.x_windows_titled(title)), f"one window titled {title!r}")

    def wait_x_window_gone(self, title):
        self.wait(lambda: not self.x_windows_titled(title), f"the window {title!r} to close")

    # --- accessibility tree -----------------------------------------------------------

    def window(self, title=MAIN_TITLE):
        """The accessible of a top-level window, found by its name as a screen reader lists it."""
        app = self._atspi_app
        for i in range(app.childCount):
            child = app.getChildAtIndex(i)
            if child is not None and child.name == title:
                return child
        return None

    def windows_named(self, title):
        app = self._atspi_app
        return [c for c in (app.getChildAtIndex(i) for i in range(app.childCount))
                if c is not None and c.name == title]

    def nodes(self, title=MAIN_TITLE):
        """Every accessible inside a window (the tree of a window does not change while it is open)."""
        cached = self._nodes.get(title)
        if cached is not None and cached[0] is not None:
            try:
                if cached[0].name == title:
                    return cached[1]
            except Exception:
                pass
        window = self.wait(lambda: self.window(title), f"the accessible window {title!r}")
        found = []

        def walk(node):
            for i in range(node.childCount):
                child = node.getChildAtIndex(i)
                if child is not None:
                    found.append(child)
                    walk(child)

        walk(window)
        self._nodes[title] = (window, found)
        return found

    def find(self, name, role=None, title=MAIN_TITLE):
        matches = [n for n in self.nodes(title) if n.name == name and (role is None or n.getRoleName() == role)]
        if len(matches) != 1:
            raise AssertionError(f"expected one accessible {name!r} in {title!r}, found {len(matches)}")
        return matches[0]

    def text(self, name, title=MAIN_TITLE):
        return self.find(name, title=title).queryText().getText(0, -1)

    def texts(self, names):
        return {name: self.text(name) for name in names}

    def wait_text(self, name, expected, title=MAIN_TITLE):
        last = []

        def matches():
            last[:] = [self.text(name, title)]
            return last[0] == expected

        try:
            self.wait(matches, f"{name!r} to read {expected!r}")
        except AssertionError as error:
            raise AssertionError(f"{error}; it reads {last[0] if last else None!r}") from None

    def has_state(self, node, state):
        return node.getState().contains(getattr(_atspi(), "STATE_" + state.upper()))

    def checked(self, name):
        return self.has_state(self.find(name), "checked")

    def focused(self, title=MAIN_TITLE):
        pyatspi = _atspi()
        for node in self.nodes(title):
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
        return None

    def focused_name(self, title=MAIN_TITLE):
        node = self.focused(title)
        return None if node is None else node.name

    def wait_focus(self, name, title=MAIN_TITLE):
        last = []

        def focus_there():
            last[:] = [self.focused_name(title)]
            return last[0] == name

        try:
            self.wait(focus_there, f"the focus on {name!r}")
        except AssertionError as error:
            raise AssertionError(f"{error}; it is on {last[0] if last else None!r}") from None

    def extents(self, node):
        box = node.queryComponent().getExtents(_atspi().DESKTOP_COORDS)
        return (box.x, box.y, box.width, box.height)

    # --- input --------------------------------------------------------------------------

    def click(self, name, title=MAIN_TITLE):
        """A real mouse click in the middle of a control, located as a screen reader reports it."""
        x, y, w, h = self.extents(self.find(name, title=title))
        self.desktop.click(x + w // 2, y + h // 2)

    def replace_text(self, name, text):
        """Clicks into a field, selects everything in it and types `text` over it."""
        self.click(name)
        self.wait_focus(name)
        self.desktop.key("ctrl+a")
        if text:
            self.desktop.type(text)
        else:
            self.desktop.key("BackSpace")

    def activate(self, title=MAIN_TITLE):
        wid = self.x_window(title)
        self.desktop.xdotool("windowactivate", "--sync", wid)
        self.wait(lambda: self.desktop.active_window() == wid, f"{title!r} to become active")
        return wid

    def close_box(self, title):
        """Clicks the close box at the right-hand end of openbox's title bar."""
        wid = self.x_window(title)
        x, y, w, _ = self.desktop.geometry(wid)
        left, right, top, _ = (int(v) for v in
                               self.desktop.xprop(wid, "_NET_FRAME_EXTENTS").split("=")[1].split(","))
        # Openbox's title layout ends with the close button ("...C"), flush with the frame's
        # right edge less its padding; its middle is about half a title bar in from that edge.
        self.desktop.click(x + w + right - top // 2 - 1, y - top // 2 - 1)


class _ProgramEnded(Exception):
    def __init__(self, status):
        super().__init__(status)
        self.status = status
