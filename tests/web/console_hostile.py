"""Who may use the console, and what it withstands. The gateway's first duty is the Modbus clients:
while the console is attacked over HTTP and WebSocket, a Modbus TCP client keeps reading D100
through the gateway, and every read must come back right and in time; afterwards the console
still serves its page and the gateway's memory stayed bounded."""

import os
import resource
import selectors
import socket
import statistics
import threading
import time

import mbap
from console_lab import WebSocket, get, http, request, rss_kib, start_console, until

EXTRA_HOST = "scada-console"  # given with --web-host
# (name, request fields, the status expected); "{port}" is the console's port.
HTTP_ROWS = [
    ("GET /", {}, 200),
    ("GET /console.js", {"path": "/console.js"}, 200),
    ("HEAD /", {"method": "HEAD"}, 200),
    ("unknown path", {"path": "/nope"}, 404),
    ("a path climbing out", {"path": "/../../etc/passwd"}, 404),
    ("POST /", {"method": "POST"}, 405),
    ("POST / with a body", {"method": "POST", "body": b"x=1"}, 405),
    ("wrong Host", {"host": "evil.example"}, 421),
    ("a Host that only starts like ours", {"host": "127.0.0.1.evil.example:{port}"}, 421),
    ("a --web-host name", {"host": EXTRA_HOST + ":{port}"}, 200),
]
# (name, Origin ("same": the console's own), Host (None: the console's own), status expected)
WS_ROWS = [
    ("same origin", "same", None, 101),
    ("foreign origin", "http://evil.example", None, 403),
    ("no origin", None, None, 403),
    ("the origin of another port here", "http://127.0.0.1:{other}", None, 403),
    ("a --web-host name's origin", f"http://{EXTRA_HOST}:{{port}}", EXTRA_HOST + ":{port}", 101),
    ("the right origin, a wrong Host", "same", "evil.example", 421),
]


def check_security(c, gateway):
    port = gateway.web_port
    for name, fields, want in HTTP_ROWS:
        fields = {k: v.format(port=port) if isinstance(v, str) else v for k, v in fields.items()}
        got = http(port, request(port, **fields), head_only=fields.get("method") == "HEAD")
        c.found(name, f"status {got[0] if got else 'none, closed'}")
        c.expect(name, got is not None and got[0] == want, f"want {want}, got {got and got[:2]}")
    for name, origin, host, want in WS_ROWS:
        name = "WebSocket, " + name
        origin = origin and origin.format(port=port, other=port + 1)
        ws = WebSocket(port, origin, host and host.format(port=port))
        hello = ws.messages_until(lambda m: True, 5) if ws.accepted else None
        ws.close()
        c.found(name, f"status {ws.status}" + (f", first message {hello}" if hello else ""))
        c.expect(name, ws.status == want and (want != 101 or (
            hello is not None and hello.get("type") == "hello" and hello.get("read_only") is not None
            and hello.get("trend_minutes") == 10)), f"want {want}; first message {hello}")


def check_allow(c, lab, controller, command):
    """A console outside --allow: the connection is closed at once, before a byte is read, as the
    gateway does to such a Modbus client."""
    gateway = start_console(lab, command, controller, "--allow", "10.0.0.0/8",
                            name="gateway-web-allow")
    start = time.monotonic()
    page = http(gateway.web_port, request(gateway.web_port), timeout=5)
    ws = WebSocket(gateway.web_port, timeout=5)
    ws.close()
    took = time.monotonic() - start
    name = "--allow 10.0.0.0/8, the console from 127.0.0.1"
    c.found(name, f"GET / {page[0] if page else 'closed'}, WebSocket {ws.status or 'closed'} "
                  f"({took:.2f} s)")
    c.expect(name, page is None and ws.status is None and took < 4,
             f"GET / {page and page[:2]}, WebSocket {ws.status}")
    lab.stop_named("gateway-web-allow")


class Prober(threading.Thread):
    """A Modbus TCP client reading D100 through the gateway over and over, on one connection
    (a new one if it is closed); each read kept as (when, ms, value or None)."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port, self.reads, self.stopping = port, [], threading.Event()

    def run(self):
        transaction, sock, buffer = 0, None, b""
        while not self.stopping.is_set():
            transaction = transaction % 0xFFFF + 1
            start, value = time.monotonic(), None
            try:
                if sock is None:
                    sock, buffer = socket.create_connection(("127.0.0.1", self.port), 5), b""
                sock.sendall(mbap.adu(mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1),
                                      transaction=transaction))
                while True:
                    frames, buffer = mbap.split(buffer)
                    if frames:
                        break
                    chunk = sock.recv(4096)
                    if not chunk:
                        raise ConnectionError("closed")
                    buffer += chunk
                header, pdu = frames[0]
                registers = mbap.registers_of(pdu)
                if header[0] == transaction and registers:
                    value = registers[0]
            except OSError:
                if sock:
                    sock.close()
                sock = None
            self.reads.append((start, (time.monotonic() - start) * 1000, value))
            self.stopping.wait(0.02)
        if sock:
            sock.close()

    def between(self, start, end):
        return [read for read in self.reads if start <= read[0] < end]


def summary(reads):
    ms = [read[1] for read in reads]
    if not ms:
        return "no reads"
    return (f"{len(ms)} reads, {sum(r[2] != 4196 for r in reads)} wrong or lost, median "
            f"{statistics.median(ms):.1f} ms, max {max(ms):.1f} ms")


# ---- the attacks: each returns (whether the console held, what was seen) ----

def garbage(port):
    """Bytes that are no HTTP request, or a request too large: a status of 400 and up or a
    close, soon, never a page and never a connection left hanging."""
    rows = [("64 KiB of random bytes", os.urandom(65536)),
            ("a TLS hello", bytes.fromhex("16030100a5010000a10303") + os.urandom(160)),
            ("a 100 KB header", request(port, headers=["X-Big: " + "a" * 100_000])),
            ("a 100 KB path", request(port, path="/" + "a" * 100_000)),
            ("HTTP/9.9", b"GET / HTTP/9.9\r\nHost: 127.0.0.1\r\n\r\n")]
    held, seen = True, []
    for name, raw in rows:
        start = time.monotonic()
        got = http(port, raw, timeout=8)
        took = time.monotonic() - start
        ok = (got is None and took < 7) or (got is not None and got[0] >= 400)
        held &= ok
        seen.append(f"{name}: {got[0] if got else 'closed'} after {took:.2f} s"
                    + ("" if ok else " (wrong)"))
    return held, "; ".join(seen)


SLOW_CLIENTS, SLOW_SECONDS = 16, 10


def slow_headers(port):
    """Clients sending their header one byte a second: the console serves others meanwhile."""
    slow = [socket.create_connection(("127.0.0.1", port), 5) for _ in range(SLOW_CLIENTS)]
    for sock in slow:
        sock.setblocking(False)  # one byte always fits; a read finds what is there, if anything
    head = request(port, headers=["X-Slow: " + "a" * SLOW_SECONDS])[:-4]
    closed_after, page, start = {}, None, time.monotonic()
    for second in range(len(head)):
        for index, sock in enumerate(slow):
            if index in closed_after:
                continue
            try:
                try:
                    if sock.recv(4096) == b"":
                        raise ConnectionError
                except BlockingIOError:
                    pass  # nothing from the server: still open
                sock.send(head[second:second + 1])
            except OSError:
                closed_after[index] = round(time.monotonic() - start)
        if second == 2:
            page = get(port)
        if time.monotonic() - start > SLOW_SECONDS:
            break
        time.sleep(1)
    for sock in slow:
        sock.close()
    return (page is not None and page[0] == 200,
            f"GET / meanwhile: {page[0] if page else 'none'}; {len(closed_after)} of "
            f"{SLOW_CLIENTS} closed by the server within {SLOW_SECONDS} s"
            + (f", after {max(closed_after.values())} s at most" if closed_after else ""))


MANY, HOLD = 1000, 3


def many_connections(port):
    """MANY connections opened at once (fewer if this process may not open so many files) and
    held idle: afterwards the console serves again."""
    many = min(MANY, resource.getrlimit(resource.RLIMIT_NOFILE)[0] - 100)
    selector, socks = selectors.DefaultSelector(), []
    for _ in range(many):
        sock = socket.socket()
        sock.setblocking(False)
        sock.connect_ex(("127.0.0.1", port))
        socks.append(sock)
        selector.register(sock, selectors.EVENT_READ)
    closed, deadline = set(), time.monotonic() + HOLD
    during = get(port)
    while time.monotonic() < deadline:
        for key, _ in selector.select(0.2):
            try:
                if key.fileobj.recv(4096) == b"":
                    raise ConnectionError
            except BlockingIOError:
                continue
            except OSError:
                pass
            closed.add(key.fileobj)
            selector.unregister(key.fileobj)
    for sock in socks:
        sock.close()
    selector.close()
    after = until(lambda: (lambda r: r if r and r[0] == 200 else None)(get(port)), 10)
    return (after is not None,
            f"GET / while held: {during[0] if during else 'none'}, after: "
            f"{after[0] if after else 'none'}; {len(closed)} of {many} closed by the server")


STALL = 10
BIG_WATCH = ["D0-D59", "M0-M15", "D100", "D200:f32"]


def never_reads(port):
    """A console that completes its upgrade, starts a quick watch and never reads again: another
    console keeps getting every scan, and the gateway keeps no ever-growing queue for it."""
    stuck = WebSocket(port, receive_buffer=4096)
    stuck.send_json({"type": "watch", "items": BIG_WATCH, "interval_ms": 100})
    reader = WebSocket(port)
    scans, values, start = set(), set(), time.monotonic()
    while time.monotonic() - start < STALL:
        message = reader.messages_until(lambda m: m.get("type") == "watch" and m.get("scanned_at"),
                                        1)
        if message:
            scans.add(message["scanned_at"])
            values.update(v.get("value") for v in message.get("values", [])
                          if v.get("device") == "D100")
    reader.close()
    stuck.close()
    return (len(scans) >= STALL and values == {"4196"},
            f"{stuck.status}/{reader.status}; the other console got {len(scans)} scans in "
            f"{STALL} s, D100 shown as {sorted(values)}")


ATTACKS = [("garbage and oversized requests", garbage), ("slow headers", slow_headers),
           (f"{MANY} connections at once", many_connections),
           ("a WebSocket that never reads", never_reads)]
LATENCY_MS = 2000  # a read held up this long means the console stalled the gateway's loop
MOST_KIB = 200 * 1024


def check_hostile(c, gateway):
    port = gateway.web_port
    prober = Prober(gateway.port)
    prober.start()
    until(lambda: len(prober.reads) >= 50, 30)
    before = list(prober.reads)
    c.found("Modbus reads of D100 before the attacks", summary(before))
    attacked = []
    for name, attack in ATTACKS:
        start = time.monotonic()
        held, seen = attack(port)
        # A few reads that began during the attack or just after, however short it was.
        end = time.monotonic()
        until(lambda: len(prober.between(end, time.monotonic())) >= 3, 10)
        reads = prober.between(start, time.monotonic())
        attacked += reads
        c.found(f"attack: {name}", f"{seen}; Modbus meanwhile: {summary(reads)}")
        c.expect(f"attack: {name}", held, seen)
        c.expect(f"Modbus during {name}", reads and all(r[2] == 4196 for r in reads) and
                 max(r[1] for r in reads) < LATENCY_MS, summary(reads))
    prober.stopping.set()
    prober.join(10)
    c.found("Modbus reads of D100", f"before: {summary(before)}; during the attacks: "
                                    f"{summary(attacked)}")
    page = get(port)
    c.expect("the console after the attacks", page is not None and page[0] == 200,
             f"GET / {page and page[:2]}")
    peak, now = gateway.peak_rss_kib(), rss_kib(gateway.process.pid)
    c.found("the gateway's memory", f"VmRSS {now / 1024:.1f} MB now, {peak / 1024:.1f} MB at most")
    c.expect("the gateway's memory", peak < MOST_KIB, f"VmHWM {peak} KiB")
