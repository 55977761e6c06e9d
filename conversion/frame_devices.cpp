#include "conversion/frame_devices.h"

#include <algorithm>

#include "conversion/device_map.h"
#include "text/ascii_text.h"

namespace conversion {

namespace {

constexpr std::uint32_t kLastAddress = 0xFFFF;

constexpr std::string_view kNoDevice = ": the controller refuses addresses where it has no device";

std::string DeviceIn(const AddressSegment& segment, std::uint32_t address) {
    return DeviceName({segment.letter, segment.first_number + (address - segment.first_address)});
}

// "C200", or "C200-C201" when the stretch holds more than one device.
std::string DevicesIn(const AddressSegment& segment, std::uint32_t first, std::uint32_t last) {
    std::string text = DeviceIn(segment, first);
    if (last > first) {
        text.append("-").append(DeviceIn(segment, last));
    }
    return text;
}

// The last address of a range, or FFFF where the range runs past it.
std::uint32_t LastAddress(modbus::FrameRange range) noexcept {
    return std::min(std::uint32_t{range.address} + range.quantity - 1, kLastAddress);
}

// Calls `visit(run, its first address)` for each stretch of [first, last], last <= FFFF.
template <class Visit>
void ForEachRun(bool bit_devices, std::uint32_t first, std::uint32_t last, Visit visit) {
    std::uint32_t address = first;
    while (address <= last) {
        const auto from = static_cast<std::uint16_t>(address);
        const AddressRun run = RunAt(from, static_cast<std::uint16_t>(last), bit_devices);
        visit(run, from);
        address = std::uint32_t{run.last} + 1;
    }
}

// The first and last device the range covers, and where the controller refuses it: addresses
// where it has no device, and inputs reached with a code for coils.
void NameRange(FrameReading& reading, modbus::FunctionCode code) {
    const modbus::FrameRange range = *reading.range;
    if (range.quantity == 0) {
        text::ascii::AppendNote(reading.note, "a quantity of 0 reaches no device");
        return;
    }
    const bool bits = modbus::ReachesBits(code);
    const std::string_view nothing = bits ? "coil or input" : "register";
    ForEachRun(bits, range.address, LastAddress(range), [&](AddressRun run, std::uint16_t first) {
        const bool many = run.last > first;
        if (run.segment == nullptr) {
            text::ascii::AppendNote(
                reading.note,
                text::ascii::Joined(
                    {"no ", nothing, " at ", text::ascii::HexWord(first),
                     many ? text::ascii::Joined({"-", text::ascii::HexWord(run.last)}) : "",
                     kNoDevice}));
            return;
        }
        if (reading.first_device.empty()) {
            reading.first_device = DeviceIn(*run.segment, first);
        }
        reading.last_device = DeviceIn(*run.segment, run.last);
        if (run.segment->table == ModbusTable::DiscreteInput &&
            code != modbus::FunctionCode::ReadDiscreteInputs) {
            text::ascii::AppendNote(
                reading.note,
                text::ascii::Joined({DevicesIn(*run.segment, first, run.last),
                                     many ? " are inputs" : " is an input",
                                     ": the controller reads X with ",
                                     modbus::FunctionText(modbus::FunctionCode::ReadDiscreteInputs),
                                     " only and refuses ", modbus::FunctionText(code)}));
        }
    });
    if (std::uint32_t{range.address} + range.quantity - 1 > kLastAddress) {
        text::ascii::AppendNote(reading.note, "the range runs past address FFFF");
    }
}

// Values as the bytes they came in, for data whose packing is not known.
modbus::RawBytes RawOf(std::span<const modbus::ItemValue> values) {
    modbus::RawBytes raw;
    for (const auto& value : values) {
        if (!raw.hex.empty()) {
            raw.hex += ' ';
        }
        if (const auto* word = std::get_if<std::uint16_t>(&value)) {
            text::ascii::AppendHexByte(raw.hex, static_cast<std::uint8_t>(*word >> 8));
            raw.hex += ' ';
            text::ascii::AppendHexByte(raw.hex, static_cast<std::uint8_t>(*word));
        } else {
            raw.hex += std::get<modbus::RawBytes>(value).hex;
        }
    }
    return raw;
}

// Why words from a 32-bit counter on are shown as raw bytes.
std::string CounterNote(modbus::FunctionCode code, const std::string& counters, bool many) {
    const std::string_view hold = many ? " hold 32-bit values; " : " holds a 32-bit value; ";
    if (code == modbus::FunctionCode::ReadHoldingRegisters) {
        return text::ascii::Joined({counters, hold, "how the controller packs ",
                                    many ? "them" : "it", " into a ", modbus::FunctionText(code),
                                    " response is not established, so ", many ? "their" : "its",
                                    " data is shown as raw bytes"});
    }
    return text::ascii::Joined({counters, hold, "how a write of words lands in ",
                                many ? "them" : "it",
                                " is not established, so the data is shown as raw bytes"});
}

// Names each value after the device at its address, from the range's address on, walking the
// map's segments alongside. From a 32-bit counter on, the rest of the data is one raw value.
void NameValues(FrameReading& reading, modbus::FunctionCode code,
                std::vector<modbus::ItemValue>& values) {
    const bool bits = modbus::ReachesBits(code);
    std::uint32_t address = reading.range->address;
    AddressRun run{nullptr, 0};
    for (std::size_t i = 0; i < values.size(); ++i, ++address) {
        std::string device;
        const AddressSegment* segment = nullptr;
        if (address <= kLastAddress) {
            if (i == 0 || address > run.last) {
                run = RunAt(static_cast<std::uint16_t>(address), kLastAddress, bits);
            }
            segment = run.segment;
            if (segment != nullptr && segment->width == DataWidth::DoubleWord) {
                const std::uint32_t last = std::max(
                    address,
                    std::min<std::uint32_t>(LastAddress(*reading.range), segment->last_address()));
                device = DevicesIn(*segment, address, last);
                text::ascii::AppendNote(reading.note, CounterNote(code, device, last > address));
                reading.values.push_back({std::move(device), RawOf(std::span(values).subspan(i))});
                return;
            }
            if (segment != nullptr) {
                device = DeviceIn(*segment, address);
            }
        }
        reading.values.push_back({std::move(device), std::move(values[i]), segment});
    }
}

}  // namespace

FrameReading NameDevices(modbus::FunctionCode code, modbus::DataReading reading) {
    FrameReading named;
    named.role = reading.role;
    named.range = reading.range;
    named.exception = reading.exception;
    named.note = std::move(reading.note);
    named.values.reserve(reading.values.size());
    if (reading.range) {
        NameRange(named, code);
        NameValues(named, code, reading.values);
    } else {
        for (auto& value : reading.values) {
            named.values.push_back({{}, std::move(value)});
        }
    }
    text::ascii::AppendNote(named.note, reading.values_note);
    return named;
}

bool AnswerSizeFixed(modbus::FunctionCode code, modbus::FrameRange range) noexcept {
    if (code != modbus::FunctionCode::ReadHoldingRegisters || range.quantity == 0) {
        return true;
    }
    bool fixed = true;
    ForEachRun(false, range.address, LastAddress(range), [&](AddressRun run, std::uint16_t) {
        fixed = fixed && (run.segment == nullptr || run.segment->width != DataWidth::DoubleWord);
    });
    return fixed;
}

}  // namespace conversion
