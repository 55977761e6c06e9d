"""What Telegraf and Home Assistant do with a config, imitated from their own source, so that the
configs zentriq-lookup writes can be checked where neither engine runs: the checks each makes when
it loads a config, the requests it then sends every poll, and how it decodes their replies.

Read from (public source, as of the versions named):
- Telegraf v1.3x, plugins/inputs/modbus/configuration_request.go (Check: byte orders, register
  types, the input types of holding fields even when omitted, names of the fields not omitted,
  one field ID per slave, register, measurement and name) and request.go (groupFieldsToRequests
  with the default optimization "none": fields sorted by address, then by length, longest first;
  a field at the address where the run so far ends joins it, omitted or not; a run with no field
  that is not omitted sends nothing; a run longer than the most a request reads is cut by
  splitMaxBatchSize, each part ending where its last whole field ends); type_conversions16.go
  (a 16-bit value reads big-endian in byte order ABCD and CDAB alike); CDAB for 32 bits: the
  low word first.
- Home Assistant 2024.x, homeassistant/components/modbus/validators.py (validate_entity: an
  entity whose address key (address, input or write type, device address) or whose name within
  its platform was seen before is "duplicate, second entry not loaded!"; scan_interval below 5 s
  warned of; struct_validator: swap word only for 32-bit data types) and the platforms'
  async_update: one read a poll for each entity (count 1, or 2 for a 32-bit type), a switch's
  state read through its verify: block, the words swapped before they are unpacked big-endian
  for swap: word."""

import socket
import struct

# Telegraf's most items a request reads (configuration_request.go, maxQuantity*).
TELEGRAF_MOST = {"coil": 2000, "discrete": 2000, "holding": 125, "input": 125}
TELEGRAF_BYTE_ORDERS = {"ABCD", "DCBA", "BADC", "CDAB", "MSW-BE", "MSW-LE", "LSW-LE", "LSW-BE"}
TELEGRAF_LENGTH = {"INT16": 1, "UINT16": 1, "INT32": 2, "UINT32": 2, "FLOAT32": 2,
                   "INT64": 4, "UINT64": 4, "FLOAT64": 4}
TELEGRAF_CODE = {"coil": 1, "discrete": 2, "holding": 3, "input": 4}


def telegraf_faults(plugin):
    """What Telegraf's Check() refuses in a request-style plugin table, as a list of texts."""
    faults, seen = [], set()
    for definition in plugin.get("request", []):
        order = definition.get("byte_order", "ABCD") or "ABCD"
        register = definition.get("register", "holding") or "holding"
        measurement = definition.get("measurement", "") or "modbus"
        if order not in TELEGRAF_BYTE_ORDERS:
            faults.append(f"unknown byte-order {order!r}")
        if register not in TELEGRAF_CODE:
            faults.append(f"unknown register-type {register!r}")
        for field in definition.get("fields", []):
            if register in ("holding", "input") and field.get("type") not in TELEGRAF_LENGTH:
                faults.append(f"unknown register data-type {field.get('type')!r} in {field}")
            if field.get("omit", False):
                continue
            if not field.get("name"):
                faults.append(f"empty field name in {field}")
            key = (definition.get("slave_id", 0), register,
                   field.get("measurement") or measurement, field.get("name"))
            if key in seen:
                faults.append(f"field {field.get('name')!r} duplicated")
            seen.add(key)
    return faults


def telegraf_transactions(plugin):
    """The requests Telegraf sends each gather: [(code, start, count, [(field, offset)])]."""
    sent = []
    for definition in plugin.get("request", []):
        register = definition.get("register", "holding") or "holding"
        typed = register in ("holding", "input")
        fields = [(f["address"], TELEGRAF_LENGTH[f["type"]] if typed else 1, f)
                  for f in definition.get("fields", [])]
        fields.sort(key=lambda f: (f[0], -f[1]))
        groups = []  # [start, length, fields not omitted]
        for address, length, field in fields:
            if groups and address == groups[-1][0] + groups[-1][1]:
                groups[-1][1] += length
            else:
                groups.append([address, length, []])
            if not field.get("omit", False):
                groups[-1][2].append((address, length, field))
        for start, length, kept in groups:
            if kept:
                for part in split_max_batch_size(start, length, kept, TELEGRAF_MOST[register]):
                    sent.append((TELEGRAF_CODE[register], *part))
    return sent


def split_max_batch_size(address, length, fields, most):
    """request.go's splitMaxBatchSize, step by step."""
    parts, index, start = [], 0, address
    while start < address + length:
        taken = []
        end = address + length
        batch_end = 0xFFFF if start >= 0xFFFF - most else start + most
        for field_address, field_length, field in fields[index:]:
            if field_address + field_length > batch_end:
                break
            taken.append((field, field_address))
            end = field_address + field_length
            index += 1
        end = min(end, address + length)
        count = end - start if index >= len(fields) or fields[index][0] >= end \
            else fields[index][0] - start
        if taken:
            parts.append((start, count, [(field, at - start) for field, at in taken]))
        start = end
    return parts


def telegraf_value(field, words):
    """A holding field's value from its words, in byte order CDAB (the low word first)."""
    kind = field["type"]
    if kind in ("INT16", "UINT16"):
        raw = struct.pack(">H", words[0])
        return struct.unpack(">h" if kind == "INT16" else ">H", raw)[0]
    raw = struct.pack(">HH", words[1], words[0])
    return struct.unpack({"INT32": ">i", "UINT32": ">I", "FLOAT32": ">f"}[kind], raw)[0]


HA_DATA_TYPES = {"int16": (1, ">h"), "uint16": (1, ">H"), "int32": (2, ">i"),
                 "uint32": (2, ">I"), "float32": (2, ">f")}
HA_CODES = {"coil": 1, "discrete_input": 2, "holding": 3, "input": 4}


def home_assistant_faults(hub, scan_interval=None):
    """What Home Assistant's validators drop or refuse in a hub, as a list of texts; with
    `scan_interval`, every entity must poll at it."""
    faults, names, addresses = [], set(), set()
    for platform, type_key in (("sensors", "input_type"), ("binary_sensors", "input_type"),
                               ("switches", "write_type")):
        for entity in hub.get(platform, []):
            name = f"{platform}.{entity['name']}"
            key = (entity["address"], entity.get(type_key), entity.get("device_address", 0))
            if key in addresses:
                faults.append(f"{name} address {key} is duplicate, second entry not loaded!")
            if name in names:
                faults.append(f"{name} is duplicate, second entry not loaded!")
            names.add(name)
            addresses.add(key)
            interval = entity.get("scan_interval", 15)
            if scan_interval is not None and interval != scan_interval:
                faults.append(f"{name}: scan_interval {interval}, expected {scan_interval}")
            if not isinstance(interval, int) or interval < 5:
                faults.append(f"{name}: scan_interval {interval!r} under Home Assistant's 5 s")
            if hub.get("timeout", 5) >= interval:
                faults.append(f"{name}: timeout {hub.get('timeout')} not under {interval}")
            if platform == "sensors":
                wide = HA_DATA_TYPES.get(entity.get("data_type"), (0,))[0] == 2
                if entity.get("swap") == "word" and not wide:
                    faults.append(f"{name}: swap: word illegal with {entity.get('data_type')}")
                if not isinstance(entity.get("precision", 0), int):
                    faults.append(f"{name}: precision {entity.get('precision')!r}")
            if platform == "switches":
                verify = entity.get("verify")
                if not isinstance(verify, dict) or verify.get("input_type") != "coil" or \
                        verify.get("address") != entity["address"]:
                    faults.append(f"{name}: no verify: reading back its own coil ({verify})")
    return faults


def home_assistant_reads(hub):
    """The read each entity sends a poll: [(platform, entity, code, address, count)]."""
    reads = []
    for entity in hub.get("sensors", []):
        count = HA_DATA_TYPES[entity["data_type"]][0]
        reads.append(("sensors", entity, HA_CODES[entity["input_type"]], entity["address"],
                      count))
    for entity in hub.get("binary_sensors", []):
        reads.append(("binary_sensors", entity, HA_CODES[entity["input_type"]],
                      entity["address"], 1))
    for entity in hub.get("switches", []):
        verify = entity["verify"]
        reads.append(("switches", entity, HA_CODES[verify["input_type"]], verify["address"], 1))
    return reads


def home_assistant_value(entity, words):
    count, layout = HA_DATA_TYPES[entity["data_type"]]
    if entity.get("swap") == "word":
        words = list(reversed(words))
    return struct.unpack(layout, struct.pack(">" + "H" * count, *words))[0]


class ModbusTcp:
    """One Modbus TCP connection to 127.0.0.1, requests sent one after another."""

    def __init__(self, port, unit=1):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.unit = unit
        self.transaction = 0

    def close(self):
        self.socket.close()

    def read(self, code, start, count):
        """The words (code 3) or bits (codes 1, 2) read; raises on an exception reply."""
        self.transaction = (self.transaction + 1) & 0xFFFF
        pdu = struct.pack(">BHH", code, start, count)
        self.socket.sendall(struct.pack(">HHHB", self.transaction, 0, len(pdu) + 1, self.unit) +
                            pdu)
        reply = b""
        while len(reply) < 6 or len(reply) < 6 + struct.unpack(">H", reply[4:6])[0]:
            chunk = self.socket.recv(4096)
            if not chunk:
                raise ConnectionError("the simulator closed the connection")
            reply += chunk
        body = reply[7:]
        if body[0] != code:
            raise ValueError(f"{code:02X} {start:04X}+{count}: exception {body[1]:02X}")
        data = body[2:]
        if code in (3, 4):
            return list(struct.unpack(f">{count}H", data))
        return [(data[i // 8] >> (i % 8)) & 1 for i in range(count)]
