"""zentriq-gateway run as a child of the test: started on a port named the way the program opens it
(a pty's path, or its COM name under Wine), listening on a free port of 127.0.0.1, its standard
error read as it comes (so that it never blocks on a full pipe) and kept for the checks."""

import os
import re
import signal
import subprocess
import threading
import time

from harness import HarnessError
from wine_ports import wine_run_command

LISTENING = re.compile(r"listening on (\S+):(\d+),")
COUNTERS = re.compile(r"zentriq-gateway: (\d+) requests?, (\d+) retr(?:y|ies), (\d+) timeouts?, "
                      r"exceptions ?(.*), clients (\d+) now / (\d+) in total, line busy (\d+) %")


class Gateway:
    def __init__(self, lab, command, port, mode, *options, name="gateway", host=None,
                 baud="115200"):
        """`command`: [WRAPPER...] PROGRAM; `port`: what --port is given. The serial side is
        8N1, as a pty has it; the baud rate only sets the gateway's timing of the line. With
        `host` ("127.0.0.1:PORT"), the controller is there instead, `mode` its serial framing
        over TCP (None: Modbus TCP)."""
        self.name = name
        self.signals = wine_run_command(command) is None  # POSIX signals and /proc reach it
        self.lines = []
        self.changed = threading.Condition()
        line = (["--host", host] + (["--mode", mode] if mode else []) if host else
                ["--port", port, "--mode", mode, "--line", "8N1", "--baud", baud])
        arguments = [*line, "--listen", "127.0.0.1:0", *options]
        self.process = subprocess.Popen(command + arguments, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        start_new_session=True)
        lab.processes.append((name, self.process))
        self.log = open(lab.path(name + ".log"), "ab")
        threading.Thread(target=self._read, daemon=True).start()
        found = self.wait_for(LISTENING, 60)  # Wine's first start in a prefix takes a while
        if not found:
            raise HarnessError(f"{name} did not say where it listens: {self.text()[-800:]}")
        self.port = int(found[2])

    def _read(self):
        for raw in self.process.stderr:
            self.log.write(raw)
            self.log.flush()
            with self.changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self.changed.notify_all()
        self.log.close()
        with self.changed:
            self.lines.append(None)  # the end of its output
            self.changed.notify_all()

    def mark(self):
        """Where its output stands now, for wait_for(..., since=mark)."""
        with self.changed:
            return len(self.lines)

    def wait_for(self, pattern, timeout, since=0):
        """The match of the first line from `since` on that matches `pattern`, or None."""
        pattern = re.compile(pattern) if isinstance(pattern, str) else pattern
        deadline = time.monotonic() + timeout
        seen = since
        with self.changed:
            while True:
                for line in self.lines[seen:]:
                    if line is None:
                        return None
                    found = pattern.search(line)
                    if found:
                        return found
                seen = len(self.lines)
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.changed.wait(left)

    def text(self, since=0):
        with self.changed:
            return "\n".join(line for line in self.lines[since:] if line is not None)

    def count(self, pattern, since=0):
        pattern = re.compile(pattern) if isinstance(pattern, str) else pattern
        with self.changed:
            return sum(1 for line in self.lines[since:] if line and pattern.search(line))

    def counters(self, timeout=10):
        """The counters line it prints on SIGUSR1, as a match of COUNTERS, or None."""
        since = self.mark()
        self.process.send_signal(signal.SIGUSR1)
        return self.wait_for(COUNTERS, timeout, since)

    def peak_rss_kib(self):
        """VmHWM of the running program, in KiB."""
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return None

    def stop(self, sig=signal.SIGTERM, timeout=20):
        """Sends `sig` and returns its exit status (None when it had to be killed)."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
            code = None
        self.wait_end(5)
        return code

    def wait_end(self, timeout):
        """Waits until its output has been read to the end (it exited and closed its stderr)."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while not (self.lines and self.lines[-1] is None):
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.changed.wait(left)
            return True
