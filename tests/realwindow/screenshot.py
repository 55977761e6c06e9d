#!/usr/bin/python3
"""Makes the README's picture of both windows: docs/screenshot.png.

Runs the built program on the same private desktop as the real-window tests (Xvfb, openbox,
its own buses), types a few device numbers, opens the About window beside the main window,
and grabs both windows with their title bars (ImageMagick's import) onto a plain background.
Besides the real-window tests' packages it needs Debian's imagemagick.

    /usr/bin/python3 tests/realwindow/screenshot.py [build/dev/app/zentriq] [docs/screenshot.png]
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import STEP_TIMEOUT, Desktop  # noqa: E402
from screen_reader import ABOUT_TITLE, MAIN_TITLE, App, modbus_field, plc_field  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BACKGROUND = "#dfe3e8"
MARGIN = 16
GAP = 24


def frame_of(desktop, wid):
    """The window manager's frame around a client window: (id, x, y) of its outer corner."""
    tree = desktop.run(["xwininfo", "-tree", "-id", str(wid)])
    parent = int(tree.split("Parent window id: ")[1].split()[0], 16)
    while True:
        info = desktop.run(["xwininfo", "-tree", "-id", str(parent)])
        grandparent = int(info.split("Parent window id: ")[1].split()[0], 16)
        if "(the root window)" in info.split("Parent window id: ")[1].splitlines()[0]:
            break
        parent = grandparent
    x, y, _, _ = desktop.geometry(parent)
    return parent, x, y


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/dev/app/zentriq")
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "docs/screenshot.png")
    desktop = Desktop()
    try:
        desktop.start()
        app = App(desktop, program).start()
        for row, typed, shown in (("M", "1536", "B000"), ("C", "200", "0EC8"), ("X", "17", "040F")):
            app.replace_text(plc_field(row), typed)
            app.wait_text(modbus_field(row), shown)
        main_wid = app.x_window(MAIN_TITLE)
        app.click("Help")
        about_wid = app.x_window(ABOUT_TITLE)
        app.wait_focus("OK", title=ABOUT_TITLE)
        # Beside the main window rather than over it, so that both can be read in one picture.
        main_frame, mx, my = frame_of(desktop, main_wid)
        _, _, mw, _ = desktop.geometry(main_frame)
        desktop.xdotool("windowmove", "--sync", about_wid, mx + mw + GAP, my + 40)
        app.wait(lambda: desktop.geometry(about_wid)[0] > mx + mw, "the About window to move")
        about_frame, ax, ay = frame_of(desktop, about_wid)
        with tempfile.TemporaryDirectory() as tmp:
            shots = []
            for frame, name in ((main_frame, "main"), (about_frame, "about")):
                path = os.path.join(tmp, f"{name}.png")
                desktop.run(["import", "-silent", "-window", str(frame), path], timeout=4 * STEP_TIMEOUT)
                shots.append(path)
            aw, ah = desktop.geometry(about_frame)[2:]
            mh = desktop.geometry(main_frame)[3]
            width = (ax + aw) - mx + 2 * MARGIN
            height = max(my + mh, ay + ah) - my + 2 * MARGIN
            os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
            subprocess.run(["convert", "-size", f"{width}x{height}", f"xc:{BACKGROUND}",
                            shots[0], "-geometry", f"+{MARGIN}+{MARGIN}", "-composite",
                            shots[1], "-geometry", f"+{ax - mx + MARGIN}+{ay - my + MARGIN}", "-composite",
                            "-strip", "-define", "png:compression-level=9", output],
                           check=True, timeout=4 * STEP_TIMEOUT)
        print(output)
    finally:
        desktop.stop()


if __name__ == "__main__":
    main()
