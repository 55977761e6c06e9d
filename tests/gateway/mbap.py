"""Modbus TCP frames written and read by hand, and what the simulated controller holds, so that a
reply through the gateway can be checked byte by byte without any Modbus client library between.

The simulator (tests/poll/simulator.py) starts with every holding register holding its own address
and every bit 1 at an odd address: D100 (1064) holds 4196, M1 (0801) is on, X17 (040F) is on."""

import socket
import struct

HEADER = struct.Struct(">HHHB")  # transaction id, protocol id, length (unit id and PDU), unit id

READ_COILS, READ_INPUTS, READ_REGISTERS, READ_INPUT_REGISTERS = 0x01, 0x02, 0x03, 0x04
WRITE_COIL, WRITE_REGISTER, WRITE_COILS, WRITE_REGISTERS = 0x05, 0x06, 0x0F, 0x10
REPORT_SLAVE_ID = 0x11

ILLEGAL_FUNCTION, ILLEGAL_VALUE = 0x01, 0x03
PATH_UNAVAILABLE, NO_RESPONSE = 0x0A, 0x0B


def d(number):
    """The holding register address of D<number>."""
    return 0x1000 + number if number < 4096 else 0x9000 + number - 4096


def m(number):
    """The coil address of M<number> (M0-M1535)."""
    return 0x0800 + number


def x(number):
    """The discrete input address of X<number> (X written in octal as the controller does)."""
    return 0x0400 + int(str(number), 8)


def initial_bit(address):
    return address % 2 == 1


# ---- requests: PDUs ----

def read(function, address, count):
    return struct.pack(">BHH", function, address, count)


def write_register(address, value):
    return struct.pack(">BHH", WRITE_REGISTER, address, value)


def write_coil(address, on):
    return struct.pack(">BHH", WRITE_COIL, address, 0xFF00 if on else 0x0000)


def write_registers(address, values):
    return struct.pack(f">BHHB{len(values)}H", WRITE_REGISTERS, address, len(values),
                       2 * len(values), *values)


def write_coils(address, bits):
    packed = bytearray((len(bits) + 7) // 8)
    for i, bit in enumerate(bits):
        if bit:
            packed[i // 8] |= 1 << (i % 8)
    return struct.pack(">BHHB", WRITE_COILS, address, len(bits), len(packed)) + bytes(packed)


def adu(pdu, unit=1, transaction=1, protocol=0, length=None):
    """An MBAP frame; `protocol` and `length` may be set wrong on purpose."""
    if length is None:
        length = len(pdu) + 1
    return HEADER.pack(transaction, protocol, length, unit) + pdu


# ---- replies ----

def registers_of(pdu):
    """The values of a 03 reply's PDU, or None when its byte count does not fit."""
    if len(pdu) < 2 or pdu[1] != len(pdu) - 2 or pdu[1] % 2:
        return None
    return list(struct.unpack(f">{pdu[1] // 2}H", pdu[2:]))


def bits_of(pdu, count):
    """The first `count` bits of a 01/02 reply's PDU, or None when its byte count does not fit."""
    if len(pdu) < 2 or pdu[1] != len(pdu) - 2 or pdu[1] != (count + 7) // 8:
        return None
    return [bool(pdu[2 + i // 8] >> (i % 8) & 1) for i in range(count)]


def exception_of(request_pdu, reply_pdu):
    """The exception code of a reply to `request_pdu`, or None when it is no exception."""
    if len(reply_pdu) == 2 and reply_pdu[0] == request_pdu[0] | 0x80:
        return reply_pdu[1]
    return None


def split(buffer):
    """(complete frames as (header tuple, PDU), rest) of bytes received."""
    frames = []
    while len(buffer) >= 6:
        size = 6 + struct.unpack(">H", buffer[4:6])[0]
        if len(buffer) < size or size < 7:
            break
        frames.append((HEADER.unpack(buffer[:7]), buffer[7:size]))
        buffer = buffer[size:]
    return frames, buffer


def exchange(port, pdu, unit=1, transaction=1, timeout=5):
    """One request on a fresh connection: (header tuple, PDU) of the reply, or None when the
    connection closed or stayed silent first."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(adu(pdu, unit, transaction))
        buffer = b""
        try:
            while True:
                frames, buffer = split(buffer)
                if frames:
                    return frames[0]
                chunk = s.recv(4096)
                if not chunk:
                    return None
                buffer += chunk
        except (socket.timeout, ConnectionResetError):
            return None

