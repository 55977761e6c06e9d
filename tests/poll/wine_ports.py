"""Serial ports for zentriq-poll.exe under Wine. A Windows program opens COM100, not a pty's path:
Wine finds COM100 as the link com100 in its prefix's dosdevices folder, which may point at any
character device, a pty among them. WinePorts makes such links for the pty ends a test uses and
removes them again at the end, whatever happens.

    with WinePorts(command) as ports:      # command: [wine-run, PREFIX, zentriq-poll.exe]
        port = ports.name(pty_end)         # "COM100" under Wine, `pty_end` itself otherwise

The prefix is the argument after wine-run in the command; a command without wine-run runs the
program natively, and every path is its own name.

Names start at COM100: each time Wine starts up in a prefix it links COM1, COM2... to the
machine's serial devices (/dev/ttyS0 to /dev/ttyS31 on most Linux machines, then USB adapters),
replacing any link of ours under those names. A name is taken only where it is free, so two
runs on one prefix never share a port; a link whose pty folder is gone was left by a run that was
killed, and is taken over."""

import fcntl
import os
import subprocess
import sys

FIRST_PORT = 100
LAST_PORT = 255


class WinePortsError(Exception):
    """The prefix could not be made, or every COM name in it is taken."""


def wine_run_command(command):
    """The part of `command` that is wine-run and its prefix, or None when the program runs
    natively."""
    for index, part in enumerate(command[:-1]):
        if os.path.basename(part) == "wine-run":
            return command[index:index + 2]
    return None


class WinePorts:
    def __init__(self, command):
        self.wine_run = wine_run_command(list(command))
        self.prefix = os.path.realpath(self.wine_run[1]) if self.wine_run else None
        self.links = {}  # pty path -> link in dosdevices

    def __enter__(self):
        if self.prefix:
            # wine-run makes a missing prefix afresh, emptying its folder first: the prefix must
            # be there before a link goes into it. wine-run PREFIX alone makes it and ends.
            made = subprocess.run(self.wine_run, stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=300)
            if made.returncode != 0:
                raise WinePortsError(f"no Wine prefix at {self.prefix}: "
                                     f"{made.stderr.decode(errors='replace').strip()}")
        return self

    def __exit__(self, *_):
        for link in self.links.values():
            try:
                os.unlink(link)
            except FileNotFoundError:
                pass
        self.links.clear()

    def name(self, path):
        """The name the program opens `path` by: a COM port linked to it under Wine, else `path`.
        A path keeps its name for the whole run, also while its pty pair is away."""
        if not self.prefix:
            return path
        target = os.path.abspath(path)
        if target not in self.links:
            self.links[target] = self._link(target)
        return os.path.basename(self.links[target]).upper()

    def _link(self, target):
        folder = os.path.join(self.prefix, "dosdevices")
        # Runs on one prefix take names one at a time, so that a name found abandoned is not
        # taken over by two of them.
        with open(os.path.join(self.prefix, ".com-ports.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            for number in range(FIRST_PORT, LAST_PORT + 1):
                link = os.path.join(folder, f"com{number}")
                if os.path.lexists(link):
                    if not self._abandoned(link):
                        continue
                    os.unlink(link)
                os.symlink(target, link)
                return link
        raise WinePortsError(f"every name from COM{FIRST_PORT} to COM{LAST_PORT} is taken in "
                             f"{folder}")

    @staticmethod
    def _abandoned(link):
        """Whether `link` was left by a run that ended without removing it: its target's folder
        is gone. The links of a run under way keep their folder while their pty pair is away."""
        try:
            target = os.readlink(link)
        except OSError:
            return False
        return os.path.isabs(target) and not os.path.isdir(os.path.dirname(target))


if __name__ == "__main__":
    sys.exit("wine_ports.py is imported by check_poll.py")
