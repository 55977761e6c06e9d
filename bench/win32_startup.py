#!/usr/bin/python3
"""Start-up of zentriq.exe against a one-label Win32 window, under Wine, and the .exe sizes.

bench/win32_startup.py WINDOWS_BUILD_DIR [RUNS]

Runs win32_first_frame.exe (bench/win32_first_frame.cpp) in one Wine session on an Xvfb display
that this script starts and stops (no window manager): it starts win32/zentriq.exe and
win32/win32_floor_window.exe (one label in the system's font, the same build flags and manifest) in
turn, RUNS times each (default 31) after a warm-up, and times each start to its first frame
(the program's window shown and painted, its thread waiting for input). Prints the medians and
the ratio zentriq / floor (goal: 1.05 or less), then the sizes of the Windows programs as built and
stripped (as the installer and the zip carry them). The Wine prefix is kept in
WINDOWS_BUILD_DIR/bench/wine, with the fonts of Debian's fonts-wine copied into it.
"""

import os
import shutil
import subprocess
import sys
import tempfile

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
WINE_FONTS = "/usr/share/wine/fonts"


def make_prefix(prefix, env):
    if os.path.exists(os.path.join(prefix, ".ready")):
        return
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    quiet = {k: v for k, v in env.items() if k != "DISPLAY"}
    subprocess.run([WINE, "wineboot", "--init"], env=quiet, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)
    subprocess.run([WINESERVER, "-w"], env=quiet, timeout=120, check=False)
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(WINE_FONTS):
        shutil.copy(os.path.join(WINE_FONTS, name), fonts)
    open(os.path.join(prefix, ".ready"), "w").close()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def stripped_size(path):
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "stripped.exe")
        subprocess.run(["x86_64-w64-mingw32-strip", "-o", out, path], check=True)
        return os.path.getsize(out)


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 31
    programs = {"zentriq": os.path.join(build, "win32", "zentriq.exe"),
                "floor": os.path.join(build, "win32", "win32_floor_window.exe")}
    timer = os.path.join(build, "win32", "win32_first_frame.exe")
    for path in [timer, *programs.values()]:
        if not os.path.exists(path):
            raise SystemExit(f"win32_startup.py: missing {path} (build the windows preset first)")
    for tool in ("Xvfb", WINE):
        if shutil.which(tool) is None:
            raise SystemExit(f"win32_startup.py: missing {tool}")

    prefix = os.path.join(build, "bench", "wine")
    home = tempfile.mkdtemp(prefix="zentriq-bench-")
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "DISPLAY"))}
    try:
        with os.fdopen(read_fd) as f:
            display = f.readline().strip()
        env.update(DISPLAY=f":{display}", WINEPREFIX=prefix, WINEDEBUG="-all", HOME=home,
                   WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        make_prefix(prefix, env)
        result = subprocess.run([WINE, timer, str(runs), *(windows_path(p) for p in programs.values())],
                                env=env, capture_output=True, text=True, timeout=600)
        if result.returncode != 0:
            raise SystemExit(f"win32_startup.py: the timer failed: {result.stderr.strip()}")
        medians = {}
        print(f"Start-up under Wine (Xvfb :{display}, no window manager), {runs} alternating runs each:")
        print(f"  {'program':<10} {'first frame ms':>15} {'25th-75th ms':>14}")
        for name, line in zip(programs, result.stdout.splitlines()):
            median, low, high = (float(v) for v in line.rsplit(" ", 3)[1:])
            medians[name] = median
            print(f"  {name:<10} {median:>15.1f} {f'{low:.1f}-{high:.1f}':>14}")
        print(f"  ratio zentriq/floor: first frame {medians['zentriq'] / medians['floor']:.3f}  "
              "(goal: <= 1.05)")
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        server.terminate()
        server.wait()
        shutil.rmtree(home, ignore_errors=True)

    print("\nWindows programs (bytes, as built and stripped):")
    sizes = {"zentriq.exe": programs["zentriq"], "win32_floor_window.exe": programs["floor"],
             "zentriq-lookup.exe": os.path.join(build, "cli", "zentriq-lookup.exe")}
    for name, path in sizes.items():
        if os.path.exists(path):
            print(f"  {name:<24} {os.path.getsize(path):>10,} {stripped_size(path):>10,}")
    package = os.path.join(build, "package")
    for name in sorted(os.listdir(package)) if os.path.isdir(package) else []:
        if name.endswith("-setup.exe"):
            print(f"  {name:<24} {os.path.getsize(os.path.join(package, name)):>10,}")


if __name__ == "__main__":
    main()
