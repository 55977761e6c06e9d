#!/usr/bin/python3
"""Runs zentriq.exe, or its installer, under Wine on an X display of its own, and checks them.

    run.py --driver DRIVER.exe --work DIR window ZENTRIQ.exe [--screenshot OUT.png]
    run.py --driver DRIVER.exe --work DIR installer SETUP.exe --version X.Y.Z

Starts Xvfb and openbox (the window manager gives the windows their title bars, and its view of
them is checked here), makes a Wine prefix of the run's own in DIR (`window`: kept and reused;
`installer`: a fresh one each run) with the fonts of Debian's fonts-wine copied into it (Wine does
not load them by itself, and without Tahoma and Marlett the windows lose their fonts and caption
buttons), runs the test driver in it and stops it all again, whatever happens.

`window`: the driver's checks of the real window (one Wine session, a few runs of the program),
then the window manager's view of both windows (frames, taskbar, owner, icons, stacking) and a
screenshot of both.
`installer`: a silent install, the files, the Start-menu shortcut and the entry in the list of
installed programs, the window started from the shortcut with the driver's start-up checks,
zentriq-lookup.exe, zentriq-poll.exe and zentriq-gateway.exe run from where they were installed, a
silent uninstall, and nothing left behind. Then the system's Path through installs with and without
/PATH=yes, reinstalls and uninstalls: the install folder in it once or not at all, the programs found
by name or not, and every other entry kept.

Exit status 0 when every check passed.
"""

import argparse
import contextlib
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
WINE_FONTS = "/usr/share/wine/fonts"
STEP_TIMEOUT = 30
MAIN_TITLE = "ZENTRIQ V1.00"
ABOUT_TITLE = "ZENTRIQ V1.00  [DELTA DVP Series ..."

# _MOTIF_WM_HINTS functions, as Wine writes them from a window's style.
MWM_FUNC_RESIZE, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 0x2, 0x8, 0x10, 0x20

failures = []


def check(ok, what):
    print(f"{'ok' if ok else 'not ok'} - {what}", flush=True)
    if not ok:
        failures.append(what)


def wait_until(predicate, timeout=STEP_TIMEOUT, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
        interval = min(interval * 1.5, 0.5)


def _die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Session:
    """Xvfb, openbox and one Wine prefix; everything started here is ended by stop()."""

    def __init__(self, prefix):
        self.prefix = prefix
        self.procs = []
        self.home = tempfile.mkdtemp(prefix="zentriq-wine-")
        self.env = None

    def start(self):
        for tool, package in (("Xvfb", "xvfb"), ("openbox", "openbox"), ("xprop", "x11-utils"),
                              ("xwininfo", "x11-utils"), ("xdotool", "xdotool"), (WINE, "wine64")):
            if shutil.which(tool) is None:
                raise SystemExit(f"run.py: missing {tool} (Debian package {package}); ./dev test installs it")
        if not os.path.isdir(WINE_FONTS):
            raise SystemExit(f"run.py: missing {WINE_FONTS} (Debian package fonts-wine)")
        read_fd, write_fd = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                     "-nolisten", "tcp"], pass_fds=(write_fd,), env=os.environ)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise SystemExit("run.py: Xvfb did not start")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("WINE", "DISPLAY", "WAYLAND", "XDG_", "DBUS_"))}
        self.env.update(DISPLAY=f":{number}", HOME=self.home, XDG_RUNTIME_DIR=self.home,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                        WINEPREFIX=self.prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self._start_openbox()
        self._make_prefix()

    def _start_openbox(self):
        """Openbox, waited for as long as a loaded machine needs (a parallel build can hold it
        back for many seconds); started once more if it ended on its own."""
        log = os.path.join(self.home, "openbox.log")
        for attempt in range(2):
            with open(log, "ab") as out:
                openbox = self._spawn(["openbox", "--sm-disable"], env=self.env, stderr=out)

            def managing():
                if openbox.poll() is not None:
                    return True  # ended: no use waiting
                try:
                    return "window id" in self.x(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])
                except subprocess.TimeoutExpired:
                    return False

            wait_until(managing, STEP_TIMEOUT * 4)
            if openbox.poll() is None and managing():
                return
            if openbox.poll() is None:
                break  # still starting after two minutes: something else is wrong
        with open(log, "rb") as f:
            said = f.read().decode(errors="replace")[-600:]
        raise SystemExit(f"run.py: openbox did not start (exit status {openbox.poll()}): {said}")

    def _spawn(self, argv, env, **kwargs):
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                start_new_session=True, preexec_fn=_die_with_parent, **kwargs)
        self.procs.append(proc)
        return proc

    def _make_prefix(self):
        if os.path.exists(os.path.join(self.prefix, ".ready")):
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        # Made without a display, so that no first-start window opens.
        env = {k: v for k, v in self.env.items() if k != "DISPLAY"}
        started = time.monotonic()
        subprocess.run([WINE, "wineboot", "--init"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=120, check=False)
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        for name in os.listdir(WINE_FONTS):
            shutil.copy(os.path.join(WINE_FONTS, name), fonts)
        open(os.path.join(self.prefix, ".ready"), "w").close()
        print(f"# made the Wine prefix {self.prefix} in {time.monotonic() - started:.1f} s", flush=True)

    def x(self, argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True,
                              timeout=STEP_TIMEOUT).stdout

    def wine(self, *args, timeout=STEP_TIMEOUT * 10, capture=True):
        """Runs a Windows program in the prefix; its exit status and output."""
        result = subprocess.run([WINE, *args], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=capture, text=True, timeout=timeout,
                                errors="replace")
        return result.returncode, result.stdout if capture else ""

    def wine_streamed(self, *args, until=None, timeout=STEP_TIMEOUT * 10):
        """Runs a Windows program, printing its output as it comes; with `until`, returns once a
        line holds that text and leaves the program running. Its exit status, or None."""
        proc = subprocess.Popen([WINE, *args], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                errors="replace", start_new_session=True, preexec_fn=_die_with_parent)
        self.procs.append(proc)
        deadline = time.monotonic() + timeout
        for line in proc.stdout:
            print(line, end="", flush=True)
            if line.startswith("not ok"):
                failures.append(line.strip())
            if until and until in line:
                return None
            if time.monotonic() > deadline:
                break
        try:
            return proc.wait(timeout=max(1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            return "timed out"

    def stop(self):
        if self.env is not None:
            with contextlib.suppress(Exception):
                subprocess.run([WINESERVER, "-k"], env=self.env, timeout=STEP_TIMEOUT,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for proc in reversed(self.procs):
            with contextlib.suppress(ProcessLookupError, PermissionError):
                os.killpg(proc.pid, signal.SIGKILL)
            with contextlib.suppress(Exception):
                proc.wait(timeout=5)
        shutil.rmtree(self.home, ignore_errors=True)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---- The window manager's view ---------------------------------------------------------------

def x_window(session, title):
    out = session.x(["xwininfo", "-root", "-tree"])
    for line in out.splitlines():
        match = re.match(r'\s*(0x[0-9a-f]+) "(.*)":', line)
        if match and match.group(2) == title:
            return int(match.group(1), 16)
    return None


def xprop(session, wid, prop):
    return session.x(["xprop", "-id", str(wid), prop])


def atoms(session, wid, prop):
    text = xprop(session, wid, prop)
    return set() if "=" not in text else {a.strip() for a in text.split("=", 1)[1].split(",")}


def frame_of(session, wid):
    """The window manager's frame around a client window, and its place on the screen."""
    while True:
        info = session.x(["xwininfo", "-tree", "-id", str(wid)])
        parent_line = info.split("Parent window id: ")[1].splitlines()[0]
        if "(the root window)" in parent_line:
            break
        wid = int(parent_line.split()[0], 16)
    geometry = session.x(["xwininfo", "-id", str(wid)])
    x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", geometry).group(1))
    y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", geometry).group(1))
    w = int(re.search(r"Width:\s+(\d+)", geometry).group(1))
    h = int(re.search(r"Height:\s+(\d+)", geometry).group(1))
    return x, y, w, h


def check_window_manager_view(session):
    main = x_window(session, MAIN_TITLE)
    about = x_window(session, ABOUT_TITLE)
    check(main is not None and about is not None, "X: both windows are on the display")
    if main is None or about is None:
        return None, None
    functions = {}
    for name, wid in (("main window", main), ("About", about)):
        hints = xprop(session, wid, "_MOTIF_WM_HINTS")
        values = [int(v, 16) for v in hints.split("=", 1)[1].split(",")] if "=" in hints else [0, 0]
        functions[name] = values[1]
        icons = set(re.findall(r"Icon \((\d+ x \d+)\)", xprop(session, wid, "_NET_WM_ICON")))
        check({"16 x 16", "32 x 32"} <= icons, f"X: {name} has the application icon ({sorted(icons)})")
    f = functions["main window"]
    check(f & MWM_FUNC_RESIZE and f & MWM_FUNC_MINIMIZE and f & MWM_FUNC_CLOSE and not f & MWM_FUNC_MAXIMIZE,
          f"X: main window resizable, minimize and close, no maximize (functions {f:#x})")
    f = functions["About"]
    check(f & MWM_FUNC_CLOSE and not f & (MWM_FUNC_RESIZE | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE),
          f"X: About fixed, with close only (functions {f:#x})")
    check("_NET_WM_STATE_SKIP_TASKBAR" not in atoms(session, main, "_NET_WM_STATE"),
          "X: main window in the taskbar")
    check("_NET_WM_STATE_SKIP_TASKBAR" in atoms(session, about, "_NET_WM_STATE"),
          "X: About not in the taskbar")
    check("not found" in xprop(session, about, "WM_TRANSIENT_FOR"), "X: About has no owner window")
    # A click on the main window's title bar, as a user brings it to the front.
    x, y, w, _ = frame_of(session, main)
    session.x(["xdotool", "mousemove", str(x + w // 2), str(y + 8), "click", "1"])
    wait_until(lambda: f"{main:#x}" in session.x(["xprop", "-root", "_NET_ACTIVE_WINDOW"]), 5)
    stacking = session.x(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"])
    ids = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", stacking)]
    check(main in ids and about in ids and ids.index(main) > ids.index(about),
          "X: the main window can be brought in front of the About window")
    return main, about


# ---- Screenshot: the X server's pixels, written as PNG with the standard library alone ----------

def grab(display, box):
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.c_void_p
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XGetPixel.restype = ctypes.c_ulong
    x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open display {display}")
    try:
        x, y, w, h = box
        image = x11.XGetImage(connection, x11.XDefaultRootWindow(connection), x, y, w, h,
                              0xFFFFFFFF, 2)  # ZPixmap
        rows = []
        for row in range(h):
            pixels = [x11.XGetPixel(image, column, row) for column in range(w)]
            rows.append([((p >> 16) & 255, (p >> 8) & 255, p & 255) for p in pixels])
        return rows
    finally:
        x11.XCloseDisplay(connection)


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def screenshot(session, windows, output, margin=16, background=(0xdf, 0xe3, 0xe8)):
    frames = [frame_of(session, wid) for wid in windows]
    left = min(f[0] for f in frames)
    top = min(f[1] for f in frames)
    right = max(f[0] + f[2] for f in frames)
    bottom = max(f[1] + f[3] for f in frames)
    canvas = [[background] * (right - left + 2 * margin) for _ in range(bottom - top + 2 * margin)]
    for fx, fy, fw, fh in frames:
        pixels = grab(session.env["DISPLAY"], (fx, fy, fw, fh))
        for row in range(fh):
            canvas[fy - top + margin + row][fx - left + margin:fx - left + margin + fw] = pixels[row]
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    write_png(output, canvas)
    print(f"# screenshot: {output}", flush=True)


# ---- The two runs ------------------------------------------------------------------------------

def run_window(session, args):
    status = session.wine_streamed(args.driver, "window", windows_path(args.program))
    check(status == 0, f"the driver's checks (driver status {status})")
    status = session.wine_streamed(args.driver, "pose", windows_path(args.program), until="posed")
    windows = check_window_manager_view(session)
    if args.screenshot and None not in windows:
        screenshot(session, windows, args.screenshot)


UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZENTRIQ"


def registry_values(session):
    status, out = session.wine("reg", "query", UNINSTALL_KEY)
    if status != 0:
        return None
    values = {}
    for line in out.splitlines():
        match = re.match(r"\s+(\S+)\s+(REG_\w+)\s*(.*)$", line)
        if match:
            values[match.group(1)] = match.group(3).strip()
    return values


ENVIRONMENT_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
INSTALL_DIR = "C:\\Program Files\\ZENTRIQ"


def machine_path(session):
    """The system's Path and its registry type, or (None, None)."""
    status, out = session.wine("reg", "query", ENVIRONMENT_KEY, "/v", "Path")
    for line in out.splitlines() if status == 0 else ():
        match = re.match(r"\s+Path\s+(REG_\w+)\s*(.*)$", line, re.IGNORECASE)
        if match:
            return match.group(2), match.group(1)
    return None, None


def shown(path):
    """A Path for a message: the long one of the cases by its ends and length."""
    if path is None or len(path) <= 200:
        return repr(path)
    return f"{path[:60]!r}...{path[-60:]!r} ({len(path)} characters)"


def set_machine_path(session, value, kind="REG_EXPAND_SZ"):
    status, _ = session.wine("reg", "add", ENVIRONMENT_KEY, "/v", "Path", "/t", kind, "/d", value, "/f")
    check(status == 0 and machine_path(session) == (value, kind),
          f"the system's Path set to {kind} {shown(value)} (status {status})")


def found_by_name(session):
    """Whether a new console finds zentriq-lookup by its name alone, as a user types it."""
    status, out = session.wine("cmd", "/c", "zentriq-lookup", "D100")
    return status == 0 and "1064" in out


def uninstall(session, paths):
    """A silent uninstall, waited for to its end: the files in `paths` gone and its entry in the
    installed programs too. Whether it ended so."""
    status, _ = session.wine(INSTALL_DIR + "\\uninstall.exe", "/S")
    check(status == 0, f"silent uninstall started (status {status})")
    # The uninstaller copies itself to a temporary folder and carries on from there.
    gone = wait_until(lambda: not any(os.path.exists(p) for p in paths), 60)
    left = [p for p in paths if os.path.exists(p)]
    check(gone, f"uninstalled: nothing left of the program or its shortcut ({left})")
    removed = wait_until(lambda: registry_values(session) is None, 30)
    check(removed, "uninstalled: no entry in the installed programs")
    return gone and removed


def run_installer(session, args):
    drive_c = os.path.join(session.prefix, "drive_c")
    installed = os.path.join(drive_c, "Program Files", "ZENTRIQ")
    shortcut = os.path.join(drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                            "ZENTRIQ.lnk")
    setup = windows_path(args.program)

    # A switch the installer does not know the value of must stop it, not install otherwise.
    status, _ = session.wine(setup, "/S", "/PATH=maybe")
    check(status != 0 and not os.path.exists(installed),
          f"/PATH=maybe refused (status {status}), nothing installed")

    original, kind = machine_path(session)
    check(original is not None, f"the prefix has a system Path ({kind} {original!r})")
    # An entry of the user's own, which every install and uninstall below must leave where it is.
    seeded = (original or "") + ";C:\\Tools"
    set_machine_path(session, seeded)

    status, _ = session.wine(setup, "/S")
    check(status == 0, f"silent install (status {status})")
    for name in ("zentriq.exe", "zentriq-lookup.exe", "zentriq-poll.exe", "zentriq-gateway.exe",
                 "uninstall.exe", "README.md", "LICENSE.txt"):
        check(os.path.isfile(os.path.join(installed, name)), f"installed: Program Files\\ZENTRIQ\\{name}")
    check(os.path.isfile(shortcut), "installed: the Start-menu shortcut for all users")
    values = registry_values(session) or {}
    expected = {"DisplayName": "ZENTRIQ", "DisplayVersion": args.version, "Publisher": "HOLVENT"}
    for name, value in expected.items():
        check(values.get(name) == value, f"installed programs: {name} {values.get(name)!r}, expected {value!r}")
    check(values.get("DisplayIcon", "").lower().endswith("\\zentriq.exe"),
          f"installed programs: DisplayIcon {values.get('DisplayIcon')!r}")
    size = values.get("EstimatedSize", "0")
    check(int(size, 16) > 0 if size.startswith("0x") else False, f"installed programs: EstimatedSize {size}")
    check("uninstall.exe" in values.get("UninstallString", "").lower(),
          f"installed programs: UninstallString {values.get('UninstallString')!r}")
    check(values.get("QuietUninstallString", "").rstrip().endswith("/S"),
          f"installed programs: QuietUninstallString {values.get('QuietUninstallString')!r}")
    path = machine_path(session)[0]
    check(path == seeded, f"without /PATH=yes the system's Path is untouched ({path!r})")
    check(not found_by_name(session), "without /PATH=yes a console does not find zentriq-lookup by name")

    lnk = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\ZENTRIQ.lnk"
    status = session.wine_streamed(args.driver, "startup", lnk, INSTALL_DIR + "\\")
    check(status == 0, f"the driver's start-up checks on the window started from the shortcut (status {status})")
    status, out = session.wine(INSTALL_DIR + "\\zentriq-lookup.exe", "D100")
    check(status == 0 and "1064" in out, f"the installed zentriq-lookup.exe answers D100 ({out.strip()!r})")
    for name in ("zentriq-poll", "zentriq-gateway"):
        status, out = session.wine(f"{INSTALL_DIR}\\{name}.exe", "--version")
        check(status == 0 and out.strip() == f"{name} {args.version}",
              f"the installed {name}.exe starts ({out.strip()!r})")

    uninstall(session, (installed, shortcut))
    path = machine_path(session)[0]
    check(path == seeded, f"uninstalled without /PATH=yes: the system's Path untouched ({path!r})")

    # The Path cases: the Path before (and its registry type), each install's switches with the
    # Path expected after it, and the Path expected after the uninstall.
    added = seeded + ";" + INSTALL_DIR
    # The folder put there by hand, in another spelling the installer must still recognise, or in
    # its own: the uninstaller did not add it, so it leaves it.
    by_hand = (original or "") + ";%ProgramFiles%\\zentriq\\;C:\\Tools"
    # Longer than an NSIS string: read, it would come back cut short, and written back so, it
    # would lose entries of the system's own.
    too_long = seeded + "".join(f";C:\\Tools\\folder-{n:03}" for n in range(60))
    cases = (
        # A REG_SZ Path, as some machines have: the installer's is REG_EXPAND_SZ all the same.
        ("/PATH=yes, again, then no switch", seeded, "REG_SZ",
         ((("/PATH=yes",), added), (("/PATH=yes",), added), ((), added)), seeded),
        ("/PATH=no, then /PATH=yes", seeded, "REG_EXPAND_SZ",
         ((("/PATH=no",), seeded), (("/PATH=yes",), added)), seeded),
        ("/PATH=yes with the folder there by hand", by_hand, "REG_EXPAND_SZ",
         ((("/PATH=yes",), by_hand),), by_hand),
        ("/PATH=yes with the folder there by hand as the installer writes it", added,
         "REG_EXPAND_SZ", ((("/PATH=yes",), added),), added),
        ("/PATH=yes with a Path too long to read whole", too_long, "REG_EXPAND_SZ",
         ((("/PATH=yes",), too_long),), too_long),
    )
    for name, before, before_kind, installs, after_uninstall in cases:
        set_machine_path(session, before, before_kind)
        for n, (switches, want) in enumerate(installs, 1):
            status, _ = session.wine(setup, "/S", *switches)
            what = f"{name}: install {n} ({' '.join(('/S',) + switches)})"
            check(status == 0, f"{what}, status {status}")
            path, kind = machine_path(session)
            check(path == want, f"{what}: the system's Path is {shown(path)}, expected {shown(want)}")
            if want != before:
                check(kind == "REG_EXPAND_SZ", f"{what}: the system's Path is {kind}, expected REG_EXPAND_SZ")
        if installs[-1][1] == added:
            check(found_by_name(session), f"{name}: a new console finds zentriq-lookup by name")
        if not uninstall(session, (installed, shortcut)):
            return
        path = machine_path(session)[0]
        check(path == after_uninstall,
              f"{name}: uninstalled, the system's Path is {shown(path)}, expected {shown(after_uninstall)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("mode", choices=("window", "installer"))
    parser.add_argument("program")
    parser.add_argument("--screenshot")
    parser.add_argument("--version")
    args = parser.parse_args()

    prefix = os.path.join(os.path.abspath(args.work), f"wine-{args.mode}")
    if args.mode == "installer":
        shutil.rmtree(prefix, ignore_errors=True)  # a fresh prefix: a machine that never had it
    session = Session(prefix)

    def interrupted(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(sig, interrupted)
    try:
        session.start()
        (run_window if args.mode == "window" else run_installer)(session, args)
    except (KeyboardInterrupt, subprocess.TimeoutExpired, subprocess.CalledProcessError) as error:
        failures.append(f"interrupted: {error}")
        print(f"run.py: {error}", file=sys.stderr)
    finally:
        session.stop()
    if failures:
        print(f"# {len(failures)} failed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
