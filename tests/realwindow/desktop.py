"""The private desktop the real-window tests run the program on, and its processes.

A `Desktop` is a private X display (Xvfb) with a window manager (openbox), a
private D-Bus session bus and the accessibility bus (at-spi-bus-launcher, which
starts at-spi2-registryd), all started here and all ended here: every service
runs in a process group of its own that is killed when the test ends, and dies
with this process even if it is killed outright (PR_SET_PDEATHSIG). Input goes
in as real X events (xdotool through the XTEST extension); xwininfo and xprop
read what the window manager made of the windows.

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


def kill_group(proc, grace=3.0):
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

    def spawn(self, argv, pass_fds=(), **kwargs):
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
        self._xvfb = self.spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN,
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
        self.spawn(["openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"])

        def wm_ready():
            out = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
            return "window id" in out

        wait_until(wm_ready, "openbox to manage the display")

    def _start_buses(self):
        read_fd, write_fd = os.pipe()
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           f"--print-address={write_fd}"], pass_fds=(write_fd,))
        os.close(write_fd)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line_from(read_fd, bus, "the session bus")
        # The launcher owns org.a11y.Bus on the session bus and runs the accessibility
        # bus, on which at-spi2-registryd is started; Qt and pyatspi find it through it.
        self.spawn([AT_SPI_LAUNCHER, "--launch-immediately"])

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
            kill_group(proc)
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
