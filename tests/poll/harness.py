"""What the end-to-end tests of zentriq-poll stand on: pty pairs (socat), the simulated controller
and the fault relay, started in a private temporary folder and all stopped at the end, whatever
happens; and raw frames written here, to check the simulator without any Modbus client."""

import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

from relay import crc16, lrc

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"


class HarnessError(Exception):
    """Something the tests stand on did not start; no verdict on the tool."""


class Lab:
    """A temporary folder and the helper processes started in it, stopped in reverse order."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="zentriq-poll-")
        self.processes = []  # (name, Popen)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self, name, command, wait_ready=True, timeout=15):
        """Starts a helper; with `wait_ready`, returns what follows "ready " on its first line."""
        log = open(self.path(name + ".log"), "ab")
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=log,
                                   stdin=subprocess.DEVNULL)
        log.close()
        self.processes.append((name, process))
        if not wait_ready:
            return process
        deadline = time.monotonic() + timeout
        line = b""
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([process.stdout], [], [], left)[0]:
                raise HarnessError(f"{name} not ready within {timeout} s: {self.log(name)}")
            byte = os.read(process.stdout.fileno(), 1)
            if not byte:
                raise HarnessError(f"{name} ended before it was ready: {self.log(name)}")
            line += byte
        if not line.startswith(b"ready "):
            raise HarnessError(f"{name} said {line!r}")
        return line[6:].decode().strip()

    def log(self, name):
        with open(self.path(name + ".log"), "rb") as f:
            return f.read().decode(errors="replace")[-2000:]

    def pty_pair(self, name, timeout=10):
        """Starts a socat pty pair whose ends are the links NAME-a and NAME-b; returns both paths.
        Called again after the pair was stopped, it brings the pair back under the same names."""
        ends = (self.path(name + "-a"), self.path(name + "-b"))
        for end in ends:
            if os.path.lexists(end):
                os.unlink(end)
        process = self.start("socat-" + name, ["socat", "-d", "-d"] +
                             [f"pty,raw,echo=0,link={end}" for end in ends], wait_ready=False)
        deadline = time.monotonic() + timeout
        while not all(os.path.exists(end) for end in ends):
            if process.poll() is not None or time.monotonic() > deadline:
                raise HarnessError(f"socat pair {name} did not start: {self.log('socat-' + name)}")
            time.sleep(0.01)
        return ends

    def stop_pair(self, name):
        self.stop_named("socat-" + name)

    def stop_named(self, name):
        for entry in [e for e in self.processes if e[0] == name]:
            self.processes.remove(entry)
            self.halt(entry[1])

    def simulator(self, *args, name="simulator"):
        return self.start(name, [PYTHON, os.path.join(HERE, "simulator.py"), *args])

    def relay(self, *args, name="relay"):
        return self.start(name, [PYTHON, os.path.join(HERE, "relay.py"), *args])

    @staticmethod
    def halt(process, grace=3):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(grace)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if process.stdout:
            process.stdout.close()

    def stop(self):
        while self.processes:
            self.halt(self.processes.pop()[1])
        shutil.rmtree(self.folder, ignore_errors=True)


def stop_on_signals():
    """SIGTERM and SIGHUP (a test runner's time limit) unwind like Ctrl-C, so every helper stops."""
    def interrupt(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupt)


# Raw frames, for checking the simulator with nothing but these few lines.
def ascii_frame(payload):
    return b":" + (payload + bytes([lrc(payload)])).hex().upper().encode() + b"\r\n"


def rtu_frame(payload):
    return payload + crc16(payload)


def exchange_serial(path, frame, quiet=0.3):
    """Sends one frame on a pty end and returns what came back until the line went quiet."""
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    try:
        os.write(fd, frame)
        reply = b""
        while select.select([fd], [], [], quiet)[0]:
            reply += os.read(fd, 512)
        return reply
    finally:
        os.close(fd)


def exchange_stream(port, frame, quiet=0.3):
    """Sends one serial frame on a fresh TCP connection, as to a serial device server, and returns
    what came back until the connection went quiet."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(frame)
        reply = b""
        while select.select([s], [], [], quiet)[0]:
            chunk = s.recv(512)
            if not chunk:
                break
            reply += chunk
        return reply


def exchange_tcp(port, pdu, unit=1, transaction=1):
    """One request on a fresh connection; returns the reply's MBAP header and PDU."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(struct.pack(">HHHB", transaction, 0, len(pdu) + 1, unit) + pdu)
        reply = b""
        while len(reply) < 6 or len(reply) < 6 + struct.unpack(">H", reply[4:6])[0]:
            chunk = s.recv(512)
            if not chunk:
                break
            reply += chunk
        return reply


if __name__ == "__main__":
    sys.exit("harness.py is imported by check_poll.py and poll_bench.py")
