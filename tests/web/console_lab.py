"""What the console's checks stand on: the gateway started with --web in front of the simulated
controller (a pty in RTU, or Modbus TCP), a way to change a value inside the controller behind
the gateway's back, and plain HTTP and WebSocket clients on raw sockets, so that a status or a
frame is seen exactly as the server sent it."""

import base64
import contextlib
import hashlib
import json
import os
import shutil
import socket
import struct
import time

import mbap
from gateway_process import Gateway
from harness import PYTHON, HarnessError, Lab

HERE = os.path.dirname(os.path.abspath(__file__))
CONSOLE_ON = r"console on http://127\.0\.0\.1:(\d+)/"
WS_GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


def until(condition, timeout, step=0.1):
    """The first truthy result of `condition()` within `timeout` seconds, or None: every wait of
    these checks is on a condition, so that a slow machine only takes longer."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result or None
        time.sleep(step)


class ConsoleLab(Lab):
    """The harness's lab, whose logs are copied into `artifacts` (kept after the run, beside the
    screenshots) before its temporary folder goes."""

    def __init__(self, artifacts):
        super().__init__()
        self.artifacts = artifacts
        os.makedirs(artifacts, exist_ok=True)

    def artifact(self, name):
        return os.path.join(self.artifacts, name)

    def stop(self):
        while self.processes:
            self.halt(self.processes.pop()[1])
        for name in os.listdir(self.folder):
            if name.endswith(".log"):
                shutil.copy(self.path(name), self.artifact(name))
        super().stop()


class Controller:
    """The simulated controller: `line` is what the gateway is given (--port's pty or --host's
    address), `panel` the Modbus TCP port that reaches the same devices directly."""

    def __init__(self, lab, kind):
        self.kind = kind
        if kind == "rtu":
            gateway_end, simulator_end = lab.pty_pair("line-rtu")
            ready = lab.start("simulator-rtu", [PYTHON, os.path.join(HERE, "twin_simulator.py"),
                                                "--serial", simulator_end, "--framer", "rtu"])
            self.line, self.panel = gateway_end, int(ready.split()[1])
        else:
            self.panel = int(lab.simulator("--tcp", "0", name="simulator-tcp"))
            self.line = f"127.0.0.1:{self.panel}"

    def registers(self, address, count):
        """What the controller holds at `address` on, read through the panel: the gateway never
        sees this read."""
        reply = mbap.exchange(self.panel, mbap.read(mbap.READ_REGISTERS, address, count))
        values = reply and mbap.registers_of(reply[1])
        if not values or len(values) != count:
            raise HarnessError(f"the simulator did not give {count} registers at {address:04X}")
        return values

    def set_register(self, address, value):
        reply = mbap.exchange(self.panel, mbap.write_register(address, value))
        if not reply or reply[1] != mbap.write_register(address, value):
            raise HarnessError(f"the simulator did not take {value} at {address:04X}: {reply}")


def start_console(lab, command, controller, *options, name="gateway-web"):
    """The gateway with its console on a free port of 127.0.0.1; `web_port` set on it."""
    if controller.kind == "rtu":
        gateway = Gateway(lab, command, controller.line, "rtu", "--web", "127.0.0.1:0", *options,
                          name=name)
    else:
        gateway = Gateway(lab, command, None, None, "--web", "127.0.0.1:0", *options,
                          name=name, host=controller.line)
    found = gateway.wait_for(CONSOLE_ON, 10)
    if not found:
        raise HarnessError(f"{name} did not say where its console is: {gateway.text()[-800:]}")
    gateway.web_port = int(found[1])
    return gateway


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return None


# ---- HTTP ----

def request(port, method="GET", path="/", host=None, headers=(), body=b""):
    """The bytes of one HTTP/1.1 request; `host` None: the console's own address."""
    lines = [f"{method} {path} HTTP/1.1", f"Host: {host or f'127.0.0.1:{port}'}", *headers]
    if body:
        lines.append(f"Content-Length: {len(body)}")
    return ("\r\n".join(lines) + "\r\n\r\n").encode() + body


def read_response(sock, head_only=False):
    """(status, {lowercased name: value}, body) of the next response on `sock`, or None when the
    connection closed (or was reset) before a whole status line and headers came. With
    `head_only`, or after a 101, body is what came after the headers."""
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            chunk = sock.recv(65536)
            if not chunk:
                return None
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        fields = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            fields[name.strip().lower()] = value.strip()
        size = 0 if head_only or status in (101, 204, 304) else int(fields.get("content-length", 0))
        while len(body) < size:
            chunk = sock.recv(65536)
            if not chunk:
                break
            body += chunk
        return status, fields, body
    except (ConnectionResetError, socket.timeout, IndexError, ValueError):
        return None


def http(port, raw, timeout=10, head_only=False):
    """Sends `raw` on a fresh connection; the response as read_response gives it."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        try:
            sock.sendall(raw)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the server may answer (or close) before it has read everything
        return read_response(sock, head_only)


def get(port, path="/", **fields):
    return http(port, request(port, "GET", path, **fields))


def post_write(port, item, confirmed, token, origin="same", headers=()):
    """POST /write as the page sends it: (status, the JSON answer or None), or None when the
    connection closed first. `token` None: no token header; `origin` None: no Origin."""
    fields = ["Content-Type: application/json", *headers]
    if token is not None:
        fields.append(f"X-Zentriq-Token: {token}")
    if origin:
        fields.append(f"Origin: {f'http://127.0.0.1:{port}' if origin == 'same' else origin}")
    body = json.dumps({"item": item, "confirmed": confirmed}).encode()
    got = http(port, request(port, "POST", "/write", headers=fields, body=body))
    if got is None:
        return None
    try:
        return got[0], json.loads(got[2])
    except ValueError:
        return got[0], None


def basic(user, password):
    return "Authorization: Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


# ---- WebSocket ----

class WebSocket:
    """A WebSocket client written out here: the upgrade's status is kept whatever it is, and
    frames are read and written one by one, so that a client can also stop reading on purpose."""

    def __init__(self, port, origin="same", host=None, timeout=10, receive_buffer=None,
                 headers=()):
        self.sock = socket.socket()
        if receive_buffer:  # before connecting, so that the window offered is small from the start
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        headers = ["Upgrade: websocket", "Connection: Upgrade", f"Sec-WebSocket-Key: {key}",
                   "Sec-WebSocket-Version: 13", *headers]
        if origin == "same":
            origin = f"http://127.0.0.1:{port}"
        if origin:
            headers.append(f"Origin: {origin}")
        try:
            self.sock.sendall(request(port, "GET", "/ws", host=host, headers=headers))
        except (BrokenPipeError, ConnectionResetError):
            pass  # refused before it was read: the status is None
        response = read_response(self.sock, head_only=True)
        self.status = response[0] if response else None
        accept = base64.b64encode(hashlib.sha1((key + WS_GUID).encode()).digest()).decode()
        self.accepted = (self.status == 101 and response[1].get("sec-websocket-accept") == accept)
        self.buffer = response[2] if self.accepted else b""  # the first frames may have come along

    def close(self):
        self.sock.close()

    def send_json(self, message):
        payload = json.dumps(message).encode()
        mask = os.urandom(4)
        size = len(payload)
        head = bytes([0x81]) + (bytes([0x80 | size]) if size < 126 else
                                struct.pack(">BH", 0x80 | 126, size) if size < 65536 else
                                struct.pack(">BQ", 0x80 | 127, size))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def _take(self, count):
        while len(self.buffer) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buffer += chunk
        taken, self.buffer = self.buffer[:count], self.buffer[count:]
        return taken

    def message(self):
        """The next text message as JSON; ConnectionError when the server closed."""
        parts = b""
        while True:
            first, second = self._take(2)
            size = second & 0x7F
            if size == 126:
                size = struct.unpack(">H", self._take(2))[0]
            elif size == 127:
                size = struct.unpack(">Q", self._take(8))[0]
            mask = self._take(4) if second & 0x80 else None
            payload = self._take(size)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            opcode = first & 0x0F
            if opcode == 0x8:
                raise ConnectionError("close frame")
            if opcode in (0x1, 0x0):
                parts += payload
                if first & 0x80:
                    return json.loads(parts)

    def messages_until(self, condition, timeout):
        """Reads messages until `condition(message)` is true (returns that message) or `timeout`
        seconds pass (returns None)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.sock.settimeout(max(0.05, deadline - time.monotonic()))
            try:
                message = self.message()
            except socket.timeout:
                return None
            if condition(message):
                return message
        return None



@contextlib.contextmanager
def console_page(port, headers=()):
    """A page of the console's own origin, connected for the time of the `with`: its hello (None
    if the upgrade was refused). The gateway honours a page's write token while it is connected."""
    ws = WebSocket(port, headers=headers)
    try:
        yield ws.messages_until(lambda m: m.get("type") == "hello", 5) if ws.accepted else None
    finally:
        ws.close()
