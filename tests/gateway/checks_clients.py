"""Clients that misbehave, while well-behaved ones keep asking: a header the gateway must not
believe, half a request and then silence, a flood of connections past --max-clients, and a client
that never reads its replies. The bad connection is closed (or left to itself), the gateway stays
bounded, and the others are served all along."""

import asyncio
import socket
import time

import mbap
from load import Control, Plan, load

IDLE = 2  # the gateway runs with --idle-timeout 2 for these checks
MAX_CLIENTS = 32
PROBES = 4  # well-behaved clients asking all along
QUICKLY = 1.0  # a bad header is answered by closing at once, well before the idle timeout


def header(transaction, protocol, length, unit=1):
    return mbap.HEADER.pack(transaction, protocol, length, unit)


READ = mbap.read(mbap.READ_REGISTERS, mbap.d(100), 1)
# (name, bytes sent, what the log says of the close, or None where the connection must stay open
# and the reply's PDU is given instead)
HEADER_ROWS = [
    ("protocol id 1", mbap.adu(READ, protocol=1), "protocol 0001 in the header", None),
    ("protocol id FFFF", mbap.adu(READ, protocol=0xFFFF), "protocol FFFF in the header", None),
    ("length 0", header(1, 0, 0), "a length of 0 in the header", None),
    ("length 1", header(1, 0, 1), "a length of 1 in the header", None),
    ("length 255", header(1, 0, 255) + bytes(254), "a length of 255 in the header", None),
    ("length 300", header(1, 0, 300) + bytes(299), "a length of 300 in the header", None),
    # Text read as a header: "GE" the transaction, "T " the protocol.
    ("garbage", b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "protocol 5420 in the header", None),
    # The boundaries that are sound: a bare function code, and a length of 254 (a write of more
    # coils than a request may carry, answered 03 by the gateway itself).
    ("length 2", mbap.adu(bytes([mbap.REPORT_SLAVE_ID])), None, bytes([mbap.REPORT_SLAVE_ID])),
    ("length 254", mbap.adu(mbap.write_coils(mbap.m(0), [True] * 1976)), None,
     bytes([mbap.WRITE_COILS | 0x80, mbap.ILLEGAL_VALUE])),
]


async def closed_after(reader, within):
    """Seconds (rounded to ms) until the gateway closed the connection, or None if it was still
    open after `within` seconds."""
    start = time.monotonic()
    try:
        while await asyncio.wait_for(reader.read(4096), within - (time.monotonic() - start)):
            pass
    except (asyncio.TimeoutError, ValueError):
        return None
    except ConnectionError:
        pass
    return round(time.monotonic() - start, 3)


async def connect(port):
    return await asyncio.open_connection("127.0.0.1", port)


async def bad_headers(c, gateway):
    for name, data, reason, reply_pdu in HEADER_ROWS:
        since = gateway.mark()
        reader, writer = await connect(gateway.port)
        writer.write(data)
        await writer.drain()
        if reason:
            took = await closed_after(reader, QUICKLY)
            logged = await asyncio.to_thread(gateway.wait_for, f"closed: {reason}", 2, since)
            c.found(f"bad header, {name}", f"closed after {took} s; logged: "
                    f"{logged.string if logged else None}")
            c.expect(f"bad header, {name}", took is not None and logged is not None,
                     f"sent {data[:16].hex()}...: not closed within {QUICKLY} s or not logged "
                     f"({gateway.text(since)[-300:]})")
        else:
            try:
                head = await asyncio.wait_for(reader.readexactly(7), 5)
                pdu = await asyncio.wait_for(reader.readexactly(mbap.HEADER.unpack(head)[2] - 1), 5)
            except (asyncio.TimeoutError, asyncio.IncompleteReadError, ConnectionError):
                pdu = None
            sound = pdu is not None and pdu[:len(reply_pdu)] == reply_pdu
            c.found(f"sound header, {name}", f"reply {pdu.hex() if pdu else None}")
            c.expect(f"sound header, {name}", sound, f"sent {data[:16].hex()}...: reply "
                     f"{pdu.hex() if pdu else None}, expected it to start {reply_pdu.hex()}")
        writer.close()


async def half_request(c, gateway):
    name = f"half a request, then silence (--idle-timeout {IDLE})"
    since = gateway.mark()
    reader, writer = await connect(gateway.port)
    writer.write(mbap.adu(READ)[:9])
    await writer.drain()
    early = await closed_after(reader, IDLE * 0.6)
    late = None if early is not None else await closed_after(reader, IDLE * 2)
    logged = await asyncio.to_thread(gateway.wait_for, f"closed: idle for {IDLE} s", 2, since)
    c.found(name, f"open after {IDLE * 0.6:.1f} s: {early is None}; closed "
                  f"{late if late is None else round(late + IDLE * 0.6, 1)} s after the bytes; "
                  f"logged: {logged.string if logged else None}")
    c.expect(name, early is None and late is not None and logged is not None,
             f"closed early after {early} s, or not closed ({late}), or not logged: "
             f"{gateway.text(since)[-300:]}")
    writer.close()


async def flood(c, gateway, count=200):
    name = f"{count} connections at once, --max-clients {MAX_CLIENTS}"
    since = gateway.mark()
    opened = await asyncio.gather(*(connect(gateway.port) for _ in range(count)),
                                  return_exceptions=True)
    connections = [o for o in opened if not isinstance(o, BaseException)]
    closes = await asyncio.gather(*(closed_after(r, QUICKLY * 1.5) for r, _ in connections))
    closed = sum(t is not None for t in closes)
    open_now = len(connections) - closed
    counters = await asyncio.to_thread(gateway.counters) if gateway.signals else None
    refused = gateway.count(f"refused: {MAX_CLIENTS} clients already", since)
    least_refused = count - (MAX_CLIENTS - PROBES)
    c.found(name, f"{len(connections)} connected, {closed} closed within {QUICKLY * 1.5} s, "
                  f"{open_now} kept open, {refused} refusals logged; counters: "
                  f"{counters.string if counters else '(no SIGUSR1)'}")
    c.expect(name, closed >= least_refused and open_now <= MAX_CLIENTS - PROBES and
             refused >= least_refused, f"expected {least_refused} closed at once and at most "
             f"{MAX_CLIENTS - PROBES} kept")
    c.expect(name, counters is None or int(counters[5]) <= MAX_CLIENTS,
             f"{counters[5] if counters else None} clients now")
    for _, writer in connections:
        writer.close()
    await asyncio.sleep(1.0)  # the gateway has seen them go: their places are free again


async def non_reader(gateway, seconds=3.0):
    """A client that asks and asks and never reads, for `seconds`: the gateway may stop reading
    it or close it, but must not grow without bound or hold up the others. Returns (requests it
    could send, whether its sends stalled, what the gateway logged of it, the gateway's peak RSS
    in KiB)."""
    loop = asyncio.get_running_loop()
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.setblocking(False)
    rss_before = gateway.peak_rss_kib() if gateway.signals else None
    since = gateway.mark()
    await loop.sock_connect(s, ("127.0.0.1", gateway.port))
    where = f"127.0.0.1:{s.getsockname()[1]} "
    if not await asyncio.to_thread(gateway.wait_for, where + "connected", 3, since):
        return 0, False, f"not connected: {gateway.text(since)[-200:]}", (None, None)
    burst = 512
    requests = mbap.adu(mbap.read(mbap.READ_REGISTERS, mbap.d(0), 125)) * burst
    sent, stalled = 0, False
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        try:
            await asyncio.wait_for(loop.sock_sendall(s, requests), 0.2)
            sent += burst
        except asyncio.TimeoutError:
            stalled = True
        except OSError:
            break
        await asyncio.sleep(0.01)
    rss = gateway.peak_rss_kib() if gateway.signals else None
    s.close()
    closed = await asyncio.to_thread(gateway.wait_for, where + "closed: ", 3, since)
    return sent, stalled, closed.string if closed else None, (rss_before, rss)


async def hostile(c, gateway):
    control = Control()
    seen = {}

    async def misbehave(tally):
        await asyncio.sleep(0.5)  # the probes connected first: their places are taken
        await bad_headers(c, gateway)
        await half_request(c, gateway)
        await flood(c, gateway)
        before = tally.ok
        seen["non-reader"] = await non_reader(gateway)
        seen["served meanwhile"] = tally.ok - before
        control.stop_sending = True

    tally, seconds, _ = await load(gateway.port, PROBES, Plan(10 ** 6), first_index=64,
                                   control=control, during=misbehave)
    requests, stalled, closed, rss = seen["non-reader"]
    c.found("a client that never reads", f"about {requests} requests of 125 registers sent in "
            f"3 s, {'its sends stalled' if stalled else 'never stalled'}; {closed}; the others "
            f"were served {seen['served meanwhile']} times meanwhile; gateway peak RSS "
            f"{rss[0]} KiB before, {rss[1]} KiB after")
    c.expect("a client that never reads", seen["served meanwhile"] > 0,
             "the other clients were not served meanwhile")
    # Had it kept every request it was sent, it would have grown by far more than this.
    # AddressSanitizer keeps freed memory in quarantine: there RSS grows whatever the program does.
    c.expect("a client that never reads", rss[0] is None or c.sanitized or
             rss[1] - rss[0] < 8 * 1024, f"peak RSS grew from {rss[0]} to {rss[1]} KiB")
    slowest = max(tally.latencies, default=0)
    c.found("well-behaved clients all along", f"{tally.summary()}; slowest reply "
            f"{slowest * 1000:.0f} ms over {seconds:.1f} s")
    c.expect("well-behaved clients all along", tally.sound() and slowest < 2.0,
             f"{tally.detail()}; slowest {slowest:.2f} s")


def check_hostile_clients(c, gateway):
    asyncio.run(hostile(c, gateway))
