"""Drives the built zentriq program as a user and a screen reader do.

A `Desktop` is a private X display (Xvfb) with a window manager (openbox), a
private D-Bus session bus and the accessibility bus (at-spi-bus-launcher, which
starts at-spi2-registryd), all started here and all ended here: every service
runs in a process group of its own that is killed when the test ends, and dies
with this process even if it is killed outright (PR_SET_PDEATHSIG).

An `App` is one zentriq process on that desktop. It is driven only by real X
input events (xdotool through the XTEST extension) and read only through
AT-SPI (pyatspi), xwininfo and xprop, so what the tests see is what a user and
a screen reader get, not what the program's objects claim about themselves.

Every wait polls with a deadline; nothing sleeps for a fixed time to let the
program catch up.
"""

import contextlib
import ctypes
import os
import pkgutil
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

STEP_TIMEOUT = float(os.environ.get("ZENTRIQ_RW_STEP_TIMEOUT", "10"))
SCREEN = "2048x1536x24"  # room for both windows at twice their size

REQUIRED_TOOLS = {
    "Xvfb": "xvfb",
    "xauth": "xauth",
    "openbox": "openbox",
    "xdotool": "xdotool",
    "xwininfo": "x11-utils",
    "xprop": "x11-utils",
    "dbus-daemon": "dbus-daemon",
    "dbus-send": "dbus-bin",
}
AT_SPI_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class HarnessError(Exception):
    """The test machinery itself failed (a service did not start, a step timed out)."""


def wait_until(predicate, what, timeout=STEP_TIMEOUT, interval=0.02):
    """Polls predicate() until it returns a true value, which is returned; raises on timeout."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # the object may not be there yet
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise AssertionError(f"timed out after {timeout:g} s waiting for {what}{detail}")
        time.sleep(interval)
        interval = min(interval * 1.5, 0.2)


def _die_with_parent():
    # Runs in the child between fork and exec: a SIGKILL of the test process
    # must not leave an X server or a bus behind.
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _kill_group(proc, grace=3.0):
    """Ends a process started in a session of its own, with everything it started."""
    if proc is None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(proc.pid, sig)
        try:
            proc.wait(timeout=grace)
            break
        except subprocess.TimeoutExpired:
            continue
    # Children of the group leader may outlive it for a moment.
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(proc.pid, signal.SIGKILL)


def _sweep(marker, display_number):
    """Kills every process that runs with `marker` (the run's own directory) in its command line or
    environment, then removes that directory and the X server's lock and socket."""
    me = os.getpid()
    for _ in range(50):
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == me:
                continue
            for part in ("cmdline", "environ"):
                with contextlib.suppress(OSError):
                    with open(f"/proc/{entry}/{part}", "rb") as data:
                        if marker.encode() in data.read():
                            found.append(int(entry))
                            break
        if not found:
            break
        for pid in found:
            with contextlib.suppress(OSError):
                os.kill(pid, signal.SIGKILL)
        time.sleep(0.1)
    shutil.rmtree(marker, ignore_errors=True)
    if display_number:
        for path in (f"/tmp/.X{display_number}-lock", f"/tmp/.X11-unix/X{display_number}"):
            with contextlib.suppress(OSError, ValueError):
                if path.endswith("lock"):
                    with open(path) as lock:
                        pid = int(lock.read().strip())
                    with contextlib.suppress(ProcessLookupError):
                        os.kill(pid, 0)
                        continue  # a live server owns it
                os.unlink(path)


def _start_guardian(marker):
    """Starts a process, outside this one's tree, that sweeps up after the desktop once this process
    is gone, even when it was killed outright (a CTest timeout) and could not stop the desktop
    itself. Gives the write end of a pipe: the guardian waits for it to close, and is told the
    display number through it."""
    read_fd, write_fd = os.pipe()
    first = os.fork()
    if first == 0:
        try:
            os.setsid()
            if os.fork() != 0:
                os._exit(0)  # the guardian is re-parented away from the test's process tree
            os.close(write_fd)
            for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGALRM):
                signal.signal(sig, signal.SIG_IGN)
            received = b""
            while True:
                chunk = os.read(read_fd, 64)
                if not chunk:
                    break
                received += chunk
            numbers = received.split()
            _sweep(marker, numbers[-1].decode() if numbers else None)
        finally:
            os._exit(0)
    os.close(read_fd)
    os.waitpid(first, 0)
    return write_fd


class Desktop:
    """Xvfb + openbox + private session bus + AT-SPI bus, isolated from the caller's."""

    def __init__(self):
        self.tmp = None
        self.display = None
        self.env = None
        self.procs = []
        self._xvfb = None
        self._guard = None

    # --- start and stop -------------------------------------------------------------

    def start(self):
        missing = [f"{tool} (Debian package {pkg})" for tool, pkg in REQUIRED_TOOLS.items()
                   if shutil.which(tool) is None]
        if not os.access(AT_SPI_LAUNCHER, os.X_OK):
            missing.append(f"{AT_SPI_LAUNCHER} (Debian package at-spi2-core)")
        if not any(module.name == "pyatspi" for module in pkgutil.iter_modules()):
            missing.append(f"pyatspi for {sys.executable} (Debian package python3-pyatspi)")
        if missing:
            raise HarnessError("missing: " + ", ".join(missing) + "; `./dev test` installs them")
        self.tmp = tempfile.mkdtemp(prefix="zentriq-rw-")
        self._guard = _start_guardian(self.tmp)
        # Services that the launcher and the buses start are re-parented to this process when
        # their parent ends first, so they can be reaped here instead of lingering as zombies.
        libc = ctypes.CDLL(None, use_errno=True)
        PR_SET_CHILD_SUBREAPER = 36
        libc.prctl(PR_SET_CHILD_SUBREAPER, 1)
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "XDG_", "QT_", "WAYLAND", "SESSION_MANAGER"))
               and k not in ("DISPLAY", "XAUTHORITY", "NO_AT_BRIDGE", "GTK_MODULES")}
        env.update(HOME=home, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), LANG="C.UTF-8", LC_ALL="C.UTF-8")
        self.env = env
        self._start_x()
        self._start_window_manager()
        self._start_buses()
        # pyatspi and the tools run in this process, so it joins the private desktop too.
        for key in ("DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME"):
            os.environ[key] = self.env[key]
        for key in ("AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE"):
            os.environ.pop(key, None)
        return self

    def _spawn(self, argv, pass_fds=(), **kwargs):
        proc = subprocess.Popen(argv, env=kwargs.pop("env", self.env), stdin=subprocess.DEVNULL,
                                stdout=kwargs.pop("stdout", subprocess.DEVNULL),
                                stderr=kwargs.pop("stderr", subprocess.DEVNULL),
                                start_new_session=True, preexec_fn=_die_with_parent,
                                pass_fds=pass_fds, **kwargs)
        self.procs.append(proc)
        return proc

    def _read_line_from(self, fd, proc, what):
        data = b""
        deadline = time.monotonic() + STEP_TIMEOUT
        while not data.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or proc.poll() is not None:
                raise HarnessError(f"{what} did not start (exit status {proc.poll()})")
            ready, _, _ = select.select([fd], [], [], min(remaining, 0.5))
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk and proc.poll() is not None:
                    raise HarnessError(f"{what} ended before it was ready")
                data += chunk
        os.close(fd)
        return data.decode().strip()

    def _start_x(self):
        # A cookie that only this desktop's clients know. The server reads it
        # before it has picked its display number, so the entry carries a
        # placeholder number; clients get their own entry once it is known.
        cookie = os.urandom(16).hex()
        server_auth = os.path.join(self.tmp, "server.auth")
        client_auth = os.path.join(self.tmp, "client.auth")
        for path in (server_auth, client_auth):
            open(path, "wb").close()
        subprocess.run(["xauth", "-q", "-f", server_auth, "add", ":0", "MIT-MAGIC-COOKIE-1", cookie],
                       check=True, env=self.env, timeout=STEP_TIMEOUT)
        read_fd, write_fd = os.pipe()
        # -displayfd: the server takes the first free display number and tells it here,
        # so two test runs never race for the same number.
        self._xvfb = self._spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN,
                                  "-nolisten", "tcp", "-auth", server_auth, "-noreset"],
                                 pass_fds=(write_fd,))
        os.close(write_fd)
        number = self._read_line_from(read_fd, self._xvfb, "Xvfb")
        self.display = f":{number}"
        os.write(self._guard, f"{number}\n".encode())
        subprocess.run(["xauth", "-q", "-f", client_auth, "add", self.display, "MIT-MAGIC-COOKIE-1",
                        cookie], check=True, env=self.env, timeout=STEP_TIMEOUT)
        self.env.update(DISPLAY=self.display, XAUTHORITY=client_auth)

    def _start_window_manager(self):
        self._spawn(["openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"])

        def wm_ready():
            out = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
            return "window id" in out

        wait_until(wm_ready, "openbox to manage the display")

    def _start_buses(self):
        read_fd, write_fd = os.pipe()
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           f"--print-address={write_fd}"], pass_fds=(write_fd,))
        os.close(write_fd)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line_from(read_fd, bus, "the session bus")
        # The launcher owns org.a11y.Bus on the session bus and runs the accessibility
        # bus, on which at-spi2-registryd is started; Qt and pyatspi find it through it.
        self._spawn([AT_SPI_LAUNCHER, "--launch-immediately"])

        def a11y_bus_address():
            out = self.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.a11y.Bus.GetAddress"], check=False).strip()
            return out if out.startswith("unix:") else None

        address = wait_until(a11y_bus_address, "the accessibility bus")

        # The registry is started on the first call to it; make that call now, so that the
        # program and pyatspi find it running.
        def registry_answers():
            return self.run(["dbus-send", f"--bus={address}", "--print-reply", "--dest=org.a11y.atspi.Registry",
                             "/org/a11y/atspi/registry", "org.freedesktop.DBus.Peer.Ping"], check=False)

        wait_until(registry_answers, "the accessibility registry")

    def stop(self):
        for proc in reversed(self.procs):
            _kill_group(proc)
        self.procs.clear()
        self._reap_orphans()
        if self._xvfb is not None and self.display:
            # A server killed outright leaves its lock and socket behind.
            number = self.display[1:]
            for path in (f"/tmp/.X{number}-lock", f"/tmp/.X11-unix/X{number}"):
                with contextlib.suppress(OSError):
                    if path.endswith("lock"):
                        with open(path) as lock:
                            if int(lock.read().strip()) != self._xvfb.pid:
                                continue
                    os.unlink(path)
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
            self.tmp = None
        if self._guard is not None:
            os.close(self._guard)  # the guardian finds nothing left and ends
            self._guard = None

    @staticmethod
    def _reap_orphans():
        """Kills and reaps whatever descendant is left (re-parented here as the subreaper)."""
        me = str(os.getpid())
        deadline = time.monotonic() + STEP_TIMEOUT
        while time.monotonic() < deadline:
            children = []
            for entry in os.listdir("/proc"):
                if entry.isdigit():
                    with contextlib.suppress(OSError):
                        with open(f"/proc/{entry}/stat") as stat:
                            fields = stat.read().rsplit(")", 1)[1].split()
                        if fields[1] == me:  # fields: state, ppid, ...
                            children.append(int(entry))
            if not children:
                return
            for pid in children:
                with contextlib.suppress(ProcessLookupError):
                    os.kill(pid, signal.SIGKILL)
                with contextlib.suppress(ChildProcessError):
                    os.waitpid(pid, os.WNOHANG)
            time.sleep(0.02)

    # --- tools ----------------------------------------------------------------------

    def run(self, argv, check=True, timeout=STEP_TIMEOUT):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(argv)} failed ({result.returncode}): {result.stderr.strip()}")
        return result.stdout

    def xdotool(self, *args):
        return self.run(["xdotool", *map(str, args)])

    def key(self, *keys):
        """Presses key chords (xdotool names: Tab, Return, alt+r, ...) as real X key events."""
        self.xdotool("key", "--clearmodifiers", "--delay", "15", *keys)

    def type(self, text):
        self.xdotool("type", "--clearmodifiers", "--delay", "15", "--", text)

    def click(self, x, y):
        # No --sync: it waits for the pointer to move, forever if it is already there. The
        # server handles the XTEST motion before the button events, so none is needed.
        self.xdotool("mousemove", x, y, "click", "1")

    def windows_of(self, pid):
        """Mapped top-level X windows of a process, by _NET_WM_PID, as {window id: title}."""
        out = self.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", ""],
                       check=False)
        found = {}
        for line in out.split():
            wid = int(line)
            name = self.run(["xdotool", "getwindowname", str(wid)], check=False).rstrip("\n")
            found[wid] = name
        return found

    def geometry(self, wid):
        """Client-area (x, y, width, height) on the screen, as xwininfo reports it."""
        out = self.run(["xwininfo", "-id", str(wid)])
        value = {}
        for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            value[label] = int(re.search(rf"{label}:\s+(-?\d+)", out).group(1))
        return (value["Absolute upper-left X"], value["Absolute upper-left Y"], value["Width"],
                value["Height"])

    def xprop(self, wid, prop):
        return self.run(["xprop", "-id", str(wid), prop]).strip()

    def active_window(self):
        out = self.run(["xdotool", "getactivewindow"], check=False).strip()
        return int(out) if out else None


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
            self.proc = self.desktop._spawn([self.program], env=env, stdout=log, stderr=log)
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
            _kill_group(self.proc)

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


class _Interrupted(KeyboardInterrupt):
    """Raised by a signal or by the overall deadline. A KeyboardInterrupt, because unittest lets only
    that one through instead of recording it against a test, so the desktop is stopped on the way out."""


class _ReportAtOnce(unittest.TextTestResult):
    """Prints each failure when it happens, so that a run cut short still says what went wrong."""

    def _report(self, test, err):
        self.stream.writeln(f"\n--- {test}\n{self._exc_info_to_string(err, test)}")
        self.stream.flush()

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._report(test, err)

    def addError(self, test, err):
        super().addError(test, err)
        self._report(test, err)

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._report(subtest, err)

    def printErrors(self):
        self.stream.writeln()  # already printed as they happened


DESKTOP = None


def main(budget_seconds=100):
    """Runs the calling test module's tests on a fresh desktop and always stops that desktop."""
    global DESKTOP

    def interrupt(signum, _frame):
        raise _Interrupted(f"signal {signum}" if signum != signal.SIGALRM
                           else f"the whole run took over {budget_seconds} s")

    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGALRM):
        signal.signal(sig, interrupt)
    signal.alarm(budget_seconds)
    DESKTOP = Desktop()
    status = 1
    try:
        DESKTOP.start()
        program = os.environ.get("ZENTRIQ_PROGRAM")
        if not program or not os.access(program, os.X_OK):
            raise HarnessError(f"ZENTRIQ_PROGRAM={program!r} is not an executable")
        runner = unittest.TextTestRunner(verbosity=2, resultclass=_ReportAtOnce, stream=sys.stdout)
        result = unittest.main(module="__main__", exit=False, testRunner=runner).result
        status = 0 if result.wasSuccessful() else 1
    except HarnessError as error:
        print(f"realwindow: {error}", file=sys.stderr)
    except _Interrupted as reason:
        print(f"realwindow: interrupted by {reason}", file=sys.stderr)
    finally:
        signal.alarm(0)
        DESKTOP.stop()
    sys.exit(status)


class AppTestCase(unittest.TestCase):
    """A test that starts its own zentriq, which ends with the test whatever happens."""

    extra_env = {}

    def launch(self, **extra_env):
        app = App(DESKTOP, os.environ["ZENTRIQ_PROGRAM"], {**self.extra_env, **extra_env})
        self.addCleanup(app.stop)
        return app.start()
