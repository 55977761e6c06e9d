"""Many Modbus TCP clients at once, on raw asyncio sockets, each checking every reply it gets.

Each client owns 16 registers (D1000 + 16 * index ...) and 16 coils (M0 + 16 * index ...) that no
other client writes, and also reads what nobody writes (D100-D109, X0-X17). It keeps, for each of
its own addresses, the values the address may hold: exactly one after a write was confirmed or a
read showed it, the old and the new one after a write whose reply was an exception (the request
may have reached the controller before its reply was lost). A read showing anything else is a
wrong value; a reply whose transaction id is no outstanding one's is crossed, one that answers a
later request before an earlier one is out of order; a request with no reply before the connection
closed or the wait ran out is lost.

Requests may be pipelined (`depth` sent before the first reply is awaited), which the gateway must
answer in order."""

import asyncio
import collections
import random
import time

import mbap

MOST_CLIENTS = 96  # 16 registers and 16 coils each fit D1000-D2535 and M0-M1535
SHARED = (mbap.d(100), 10)  # D100-D109
INPUTS = (mbap.x(0), 16)  # X0-X17


class Plan:
    """What every client of one load does. `mix`: "mixed" reads and writes; "same-shape": reads
    of one register each at addresses no one writes, so that a reply handed to the wrong request
    shows as a wrong value whatever else the gateway checks; "shared-read": D100-D109 read again
    and again, the same request every time."""

    def __init__(self, requests, mix="mixed", depth=1, unit=1, wait=30.0):
        self.requests, self.mix, self.depth, self.unit, self.wait = requests, mix, depth, unit, wait


class Tally:
    """What the clients of one load got, counted; the first few faults described."""

    def __init__(self):
        self.sent = 0
        self.ok = 0
        self.exceptions = collections.Counter()
        self.wrong = 0  # a value the controller cannot hold, or a reply of the wrong shape
        self.crossed = 0  # a transaction id no outstanding request has, or another unit's
        self.out_of_order = 0  # a later request answered before an earlier one
        self.lost = 0  # no reply before the connection closed or the wait ran out
        self.unconnected = 0
        self.latencies = []
        self.notes = []

    def note(self, text):
        if len(self.notes) < 5:
            self.notes.append(text)

    def summary(self):
        codes = " ".join(f"{code:02X}:{n}" for code, n in sorted(self.exceptions.items()))
        return (f"{self.sent} requests, {self.ok} ok, exceptions {codes or 'none'}, "
                f"{self.wrong} wrong, {self.crossed} crossed, {self.out_of_order} out of order, "
                f"{self.lost} lost"
                + (f", {self.unconnected} clients not connected" if self.unconnected else ""))

    def detail(self):
        return "; ".join([self.summary()] + self.notes)

    def sound(self, allowed=()):
        """Nothing wrong, crossed, out of order or lost, and no exception but the `allowed`
        codes."""
        return (not (self.wrong or self.crossed or self.out_of_order or self.lost or
                     self.unconnected) and set(self.exceptions) <= set(allowed))


class Request:
    """A PDU, what checks its reply (returns a fault's description or None) and what follows an
    exception in its stead."""

    def __init__(self, pdu, check, failed=lambda: None):
        self.pdu, self.check, self.failed = pdu, check, failed
        self.transaction = 0
        self.sent_at = 0.0


class Client:
    def __init__(self, index, plan, seed=1):
        assert 0 <= index < MOST_CLIENTS
        self.index, self.plan = index, plan
        self.rng = random.Random(seed * 1000 + index)
        self.registers = {mbap.d(1000 + 16 * index + i): None for i in range(16)}
        self.coils = {mbap.m(16 * index + i): None for i in range(16)}
        self.transaction = (index * 1021) & 0xFFFF
        self.done = 0
        self.made = 0

    # ---- what it asks ----

    def next_request(self):
        self.made += 1
        if self.plan.mix == "shared-read":
            return self.read_known(mbap.READ_REGISTERS, SHARED[0], SHARED[1],
                                   [SHARED[0] + i for i in range(SHARED[1])])
        if self.plan.mix == "same-shape":
            number = 3000 + self.index if self.made % 2 else 3100 + self.index
            return self.read_known(mbap.READ_REGISTERS, mbap.d(number), 1, [mbap.d(number)])
        if self.made == 1:
            return self.write_registers(0, 16)
        if self.made == 2:
            return self.write_coils(0, 16)
        pick = self.rng.random()
        first, count = self.span()
        if pick < 0.25:
            return self.read_own(mbap.READ_REGISTERS, self.registers, first, count)
        if pick < 0.40:
            return self.write_registers(first, 1, single=True)
        if pick < 0.55:
            return self.write_registers(first, count)
        if pick < 0.65:
            return self.read_known(mbap.READ_REGISTERS, SHARED[0], SHARED[1],
                                   [SHARED[0] + i for i in range(SHARED[1])])
        if pick < 0.75:
            return self.read_own(mbap.READ_COILS, self.coils, first, count)
        if pick < 0.80:
            return self.read_own(mbap.READ_INPUTS, self.coils, first, count)
        if pick < 0.90:
            return self.write_coils(first, 1, single=True)
        if pick < 0.95:
            return self.write_coils(first, count)
        return self.read_known(mbap.READ_INPUTS, INPUTS[0], INPUTS[1],
                               [INPUTS[0] + i for i in range(INPUTS[1])], bits=True)

    def span(self):
        first = self.rng.randrange(16)
        return first, self.rng.randint(1, 16 - first)

    def read_known(self, function, address, count, expected, bits=False):
        def check(reply):
            got = mbap.bits_of(reply, count) if bits else mbap.registers_of(reply)
            want = [mbap.initial_bit(a) for a in expected] if bits else expected
            return None if got == want else f"read {address:04X}+{count}: {got}, expected {want}"
        return Request(mbap.read(function, address, count), check)

    def read_own(self, function, model, first, count):
        addresses = list(model)[first:first + count]
        bits = function != mbap.READ_REGISTERS

        def check(reply):
            got = mbap.bits_of(reply, count) if bits else mbap.registers_of(reply)
            if got is None or len(got) != count:
                return f"read {addresses[0]:04X}+{count}: reply {reply.hex()}"
            for address, value in zip(addresses, got):
                if model[address] is not None and value not in model[address]:
                    return (f"read {addresses[0]:04X}+{count}: {address:04X} = {value}, it can "
                            f"only hold {sorted(model[address])}")
            for address, value in zip(addresses, got):
                model[address] = {value}
            return None
        return Request(mbap.read(function, addresses[0], count), check)

    def write_registers(self, first, count, single=False):
        addresses = list(self.registers)[first:first + count]
        values = [self.rng.randrange(0x10000) for _ in addresses]
        pdu = (mbap.write_register(addresses[0], values[0]) if single else
               mbap.write_registers(addresses[0], values))
        return self.write(pdu, self.registers, addresses, values, single)

    def write_coils(self, first, count, single=False):
        addresses = list(self.coils)[first:first + count]
        values = [self.rng.random() < 0.5 for _ in addresses]
        pdu = (mbap.write_coil(addresses[0], values[0]) if single else
               mbap.write_coils(addresses[0], values))
        return self.write(pdu, self.coils, addresses, values, single)

    @staticmethod
    def write(pdu, model, addresses, values, single):
        echo = pdu if single else pdu[:5]

        def check(reply):
            if reply != echo:
                return f"write {pdu.hex()}: reply {reply.hex()}, expected {echo.hex()}"
            for address, value in zip(addresses, values):
                model[address] = {value}
            return None

        def failed():
            for address, value in zip(addresses, values):
                if model[address] is not None:
                    model[address] = model[address] | {value}
        return Request(pdu, check, failed)

    # ---- what it hears ----

    def judge(self, request, pdu, tally):
        code = mbap.exception_of(request.pdu, pdu)
        if code is not None:
            tally.exceptions[code] += 1
            request.failed()
            return
        fault = (f"reply {pdu.hex()} to {request.pdu.hex()}" if not pdu or pdu[0] != request.pdu[0]
                 else request.check(pdu))
        if fault:
            tally.wrong += 1
            tally.note(f"client {self.index}: {fault}")
        else:
            tally.ok += 1


class Control:
    """Shared by the clients of one load: `stop_sending` ends every client's requests (those sent
    are still awaited); `first_done` holds each client's count of answered requests at the moment
    the first client had all its replies."""

    def __init__(self):
        self.stop_sending = False
        self.first_done = None


async def run_client(port, client, tally, control, clients):
    plan = client.plan
    try:
        reader, writer = await asyncio.wait_for(asyncio.open_connection("127.0.0.1", port), 10)
    except (OSError, asyncio.TimeoutError):
        tally.unconnected += 1
        return
    outstanding = collections.deque()
    sent = 0
    try:
        while True:
            while (sent < plan.requests and len(outstanding) < plan.depth and
                   not control.stop_sending):
                request = client.next_request()
                client.transaction = (client.transaction + 1) & 0xFFFF
                request.transaction = client.transaction
                request.sent_at = time.perf_counter()
                writer.write(mbap.adu(request.pdu, plan.unit, request.transaction))
                outstanding.append(request)
                sent += 1
                tally.sent += 1
            if not outstanding:
                break
            await writer.drain()
            head = await asyncio.wait_for(reader.readexactly(7), plan.wait)
            header = mbap.HEADER.unpack(head)
            pdu = await asyncio.wait_for(reader.readexactly(max(header[2] - 1, 0)), plan.wait)
            request = next((r for r in outstanding if r.transaction == header[0]), None)
            if request is None or header[1] != 0 or header[3] != plan.unit:
                tally.crossed += 1
                tally.note(f"client {client.index}: reply header {header}, outstanding "
                           f"transactions {[r.transaction for r in outstanding]}, unit {plan.unit}")
                tally.lost += len(outstanding)
                return
            if request is not outstanding[0]:
                tally.out_of_order += 1
                tally.note(f"client {client.index}: the reply to transaction {header[0]} came "
                           f"before the reply to {outstanding[0].transaction}")
            outstanding.remove(request)
            tally.latencies.append(time.perf_counter() - request.sent_at)
            client.judge(request, pdu, tally)
            client.done += 1
            if sent == plan.requests and not outstanding and control.first_done is None:
                control.first_done = [c.done for c in clients]
    except (asyncio.TimeoutError, asyncio.IncompleteReadError, ConnectionError):
        tally.lost += len(outstanding)
    finally:
        writer.close()
        try:
            await writer.wait_closed()
        except (ConnectionError, OSError):
            pass


async def load(port, count, plan, first_index=0, control=None, seed=1, during=None):
    """Runs `count` clients to the end, and beside them `during(tally)` when given (something
    done to the gateway or its line meanwhile); returns (tally, seconds, clients)."""
    control = control or Control()
    tally = Tally()
    clients = [Client(first_index + i, plan, seed) for i in range(count)]
    start = time.perf_counter()
    await asyncio.gather(*(run_client(port, c, tally, control, clients) for c in clients),
                         *([during(tally)] if during else []))
    return tally, time.perf_counter() - start, clients


def run_load(port, count, plan, first_index=0, seed=1):
    tally, seconds, _ = asyncio.run(load(port, count, plan, first_index, seed=seed))
    return tally, seconds
