#include "conversion/modbus_frame.h"

#include <algorithm>
#include <optional>

#include "conversion/device_map.h"
#include "conversion/frame_checksum.h"

namespace conversion {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// ---- Text
// ----------------------------------------------------------------------------------------

void AppendHexByte(std::string& out, std::uint8_t byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

std::string HexByte(std::uint8_t byte) {
    std::string out;
    AppendHexByte(out, byte);
    return out;
}

std::string HexWord(std::uint32_t word) {
    return HexByte(static_cast<std::uint8_t>(word >> 8)) + HexByte(static_cast<std::uint8_t>(word));
}

// Bytes as a serial monitor shows them: "00 01 86 A0".
std::string SpacedHex(Bytes bytes) {
    std::string out;
    for (const std::uint8_t byte : bytes) {
        if (!out.empty()) {
            out += ' ';
        }
        AppendHexByte(out, byte);
    }
    return out;
}

// Function codes as the controller's documentation writes them: two decimal digits.
std::string CodeText(std::uint8_t code) {
    std::string text = code < 10 ? "0" : "";
    return text.append(std::to_string(code));
}

int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

// A character as an error message shows it: printable ASCII in quotes, any other byte as \xNN.
std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
        return std::string("'") + c + "'";
    }
    return "\\x" + HexByte(byte);
}

std::string AtPosition(std::size_t index) {
    return "at position " + std::to_string(index + 1);
}

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

void AddNote(FrameReading& reading, const std::string& note) {
    if (!reading.note.empty()) {
        reading.note += "; ";
    }
    reading.note += note;
}

// ---- Hex digits to bytes
// -------------------------------------------------------------------------

struct Failure {
    FrameError error;
    std::string message;
};

// Reads the hex digits of text[begin, end) two by two into `bytes`. RTU text may put blanks
// between bytes; a blank inside a byte ("0 1") would make the pairing a guess, so every blank-free
// group must have an even number of digits.
std::optional<Failure> ReadHex(std::string_view text, std::size_t begin, std::size_t end,
                               FrameMode mode, std::vector<std::uint8_t>& bytes) {
    const bool rtu = mode == FrameMode::Rtu;
    bool blanks = false;
    for (std::size_t i = begin; i < end; ++i) {
        if (rtu && IsBlank(text[i])) {
            blanks = true;
        } else if (HexValue(text[i]) < 0) {
            return Failure{FrameError::NotHex, Shown(text[i]) + ' ' + AtPosition(i) +
                                                   " is not a hex digit" +
                                                   (rtu ? " or a space" : "")};
        }
    }
    bytes.reserve((end - begin) / 2);
    std::size_t i = begin;
    while (i < end) {
        while (i < end && IsBlank(text[i])) {
            ++i;
        }
        std::size_t j = i;
        while (j < end && !IsBlank(text[j])) {
            ++j;
        }
        if ((j - i) % 2 != 0) {
            if (!rtu) {
                return Failure{FrameError::OddDigits, "odd number of hex digits (" +
                                                          std::to_string(j - i) + ") after ':'"};
            }
            if (!blanks) {
                return Failure{FrameError::OddDigits,
                               "odd number of hex digits (" + std::to_string(j - i) + ")"};
            }
            constexpr std::size_t kShown = 16;
            const auto group = text.substr(i, std::min(j - i, kShown));
            return Failure{FrameError::OddDigits,
                           "odd number of hex digits in \"" + std::string(group) +
                               (j - i > kShown ? "..." : "") + "\" " + AtPosition(i)};
        }
        for (std::size_t k = i; k < j; k += 2) {
            bytes.push_back(
                static_cast<std::uint8_t>(HexValue(text[k]) * 16 + HexValue(text[k + 1])));
        }
        i = j;
    }
    return std::nullopt;
}

// ---- Devices
// -------------------------------------------------------------------------------------

bool IsBitCode(std::uint8_t code) noexcept {
    return code == 1 || code == 2 || code == 5 || code == 15;
}

std::string_view ItemsName(std::uint8_t code) noexcept {
    switch (code) {
        case 2:
            return "inputs";
        case 3:
        case 6:
        case 16:
            return "registers";
        default:
            return "coils";
    }
}

// The segment a function code reaches at `address`: bit codes reach the coil and discrete-input
// tables (every address has at most one bit device), the others the holding registers.
const AddressSegment* SegmentFor(std::uint8_t code, std::uint32_t address) noexcept {
    const bool bits = IsBitCode(code);
    for (const auto& segment : kAddressSegments) {
        if (address >= segment.first_address && address <= segment.last_address() &&
            bits == (segment.table != ModbusTable::HoldingRegister)) {
            return &segment;
        }
    }
    return nullptr;
}

// The first address after `address` where a segment that `code` reaches begins; 0x10000 if none.
std::uint32_t NextSegmentStart(std::uint8_t code, std::uint32_t address) noexcept {
    std::uint32_t next = 0x10000;
    const bool bits = IsBitCode(code);
    for (const auto& segment : kAddressSegments) {
        if (segment.first_address > address &&
            bits == (segment.table != ModbusTable::HoldingRegister)) {
            next = std::min<std::uint32_t>(next, segment.first_address);
        }
    }
    return next;
}

// The name of the device `code` reaches at `address`; empty where the map has none.
std::string DeviceAt(std::uint8_t code, std::uint32_t address) {
    if (address > 0xFFFF) {
        return {};
    }
    const auto table =
        IsBitCode(code) ? std::nullopt : std::optional<ModbusTable>(ModbusTable::HoldingRegister);
    const auto found = DevicesAt(static_cast<std::uint16_t>(address), table);
    for (const auto& entry : found.found()) {
        if (entry.table != ModbusTable::HoldingRegister || table) {
            return DeviceName(entry.device);
        }
    }
    return {};
}

std::string DeviceIn(const AddressSegment& segment, std::uint32_t address) {
    return DeviceName({segment.letter, segment.first_number + (address - segment.first_address)});
}

// Says where the range reaches no device and where it reaches inputs with a code that writes or
// reads coils only, walking the map's segments rather than every address.
void NoteRefusals(FrameReading& reading, std::uint8_t code, std::uint32_t first,
                  std::uint32_t last) {
    const std::string_view nothing = IsBitCode(code) ? "coil or input" : "register";
    std::uint32_t address = first;
    while (address <= last) {
        const AddressSegment* segment = SegmentFor(code, address);
        if (segment == nullptr) {
            const std::uint32_t end = std::min(last, NextSegmentStart(code, address) - 1);
            std::string note = "no ";
            note.append(nothing).append(" at ").append(HexWord(address));
            if (end > address) {
                note.append("-").append(HexWord(end));
            }
            AddNote(reading,
                    note.append(": the controller refuses addresses where it has no device"));
            address = end + 1;
            continue;
        }
        const std::uint32_t end = std::min<std::uint32_t>(last, segment->last_address());
        if (segment->table == ModbusTable::DiscreteInput && code != 2) {
            std::string note = DeviceIn(*segment, address);
            if (end > address) {
                note.append("-").append(DeviceIn(*segment, end)).append(" are inputs");
            } else {
                note.append(" is an input");
            }
            note.append(": the controller reads X with function 02 only and refuses function ");
            AddNote(reading, note.append(CodeText(code)));
        }
        address = end + 1;
    }
}

void SetRange(FrameReading& reading, std::uint8_t code, std::uint16_t address,
              std::uint16_t quantity) {
    reading.has_range = true;
    reading.address = address;
    reading.quantity = quantity;
    if (quantity == 0) {
        AddNote(reading, "a quantity of 0 reaches no device");
        return;
    }
    const std::uint32_t last = std::uint32_t{address} + quantity - 1;
    reading.first_device = DeviceAt(code, address);
    reading.last_device = DeviceAt(code, last);
    NoteRefusals(reading, code, address, std::min<std::uint32_t>(last, 0xFFFF));
    if (last > 0xFFFF) {
        AddNote(reading, "the range runs past address FFFF");
    }
}

// ---- Values
// --------------------------------------------------------------------------------------

std::uint16_t Word(Bytes bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// `count` bits packed the controller's way (first device in the lowest bit of the first byte),
// named after the devices from the reading's address on when the range is known.
void AddBits(FrameReading& reading, std::uint8_t code, Bytes packed, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        FrameValue value;
        value.value = static_cast<std::uint16_t>(packed[i / 8] >> (i % 8) & 1);
        if (reading.has_range) {
            value.device = DeviceAt(code, static_cast<std::uint32_t>(reading.address + i));
        }
        reading.values.push_back(std::move(value));
    }
}

// Words, high byte first. Where a 32-bit counter (C200-C255) begins, the rest of the data is kept
// as raw bytes: how the controller packs such a value into registers is not established.
void AddWords(FrameReading& reading, std::uint8_t code, Bytes data) {
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        FrameValue value;
        if (reading.has_range) {
            const auto address = static_cast<std::uint32_t>(reading.address + i / 2);
            value.device = DeviceAt(code, address);
            const AddressSegment* segment = SegmentFor(code, address);
            if (segment != nullptr && segment->width == DataWidth::DoubleWord) {
                value.raw = SpacedHex(data.subspan(i));
                AddNote(reading,
                        code == 3
                            ? value.device +
                                  " on hold 32-bit values; how the controller packs them into a "
                                  "function 03 response is not established, so their data is "
                                  "shown as raw bytes"
                            : value.device +
                                  " on hold 32-bit values; how a one-word write lands in them is "
                                  "not established, so the data is shown as raw bytes");
                reading.values.push_back(std::move(value));
                return;
            }
        }
        value.value = Word(data, i);
        reading.values.push_back(std::move(value));
    }
}

constexpr std::string_view kNoStartAddress =
    "a response does not carry its start address: read after its request, it names the devices";

// ---- Shapes of the function codes
// ----------------------------------------------------------------

struct Shape {
    std::vector<FrameReading> readings;
    std::string problem;  // why the data fits no shape; empty when it fits one
};

// The request of the frame before, when this frame can be its answer.
const FrameReading* RequestBefore(const DecodedFrame& frame, const DecodedFrame* before,
                                  std::uint8_t code) noexcept {
    if (before == nullptr || !before->checksum_ok() || before->slave != frame.slave ||
        before->function != code) {
        return nullptr;
    }
    for (const auto& reading : before->readings) {
        if (reading.role == FrameRole::Request && reading.has_range) {
            return &reading;
        }
    }
    return nullptr;
}

// The number of data bytes a response to `request` carries, when the request fixes it: a 32-bit
// counter in the range of a code-03 request leaves it open.
std::optional<std::size_t> AnswerSize(std::uint8_t code, const FrameReading& request) noexcept {
    if (code != 3) {
        return (std::size_t{request.quantity} + 7) / 8;
    }
    for (std::uint32_t i = 0; i < request.quantity; ++i) {
        const auto* segment = SegmentFor(code, request.address + i);
        if (segment != nullptr && segment->width == DataWidth::DoubleWord) {
            return std::nullopt;
        }
    }
    return std::size_t{request.quantity} * 2;
}

FrameReading ReadResponse(std::uint8_t code, Bytes data, const FrameReading* request) {
    FrameReading reading;
    reading.role = FrameRole::Response;
    const Bytes payload = data.subspan(1);
    if (request != nullptr) {
        const auto expected = AnswerSize(code, *request);
        if (!expected || *expected == payload.size()) {
            SetRange(reading, code, request->address, request->quantity);
        } else {
            AddNote(reading, "it does not answer the request before it, whose " +
                                 Plural(request->quantity, ItemsName(code), ItemsName(code)) +
                                 " take " + Plural(*expected, "byte", "bytes"));
        }
    }
    if (!reading.has_range) {
        AddNote(reading, std::string(kNoStartAddress));
    }
    if (code == 3) {
        AddWords(reading, code, payload);
    } else {
        const std::size_t bits = reading.has_range
                                     ? std::min<std::size_t>(reading.quantity, payload.size() * 8)
                                     : payload.size() * 8;
        AddBits(reading, code, payload, bits);
    }
    return reading;
}

// 01, 02, 03: a request is start and quantity; a response is a byte count and the data. Four
// data bytes beginning with 03 fit both for 01 and 02.
Shape ReadReadCode(std::uint8_t code, Bytes data, const FrameReading* request) {
    Shape shape;
    const bool response_length = !data.empty() && data[0] == data.size() - 1;
    const bool odd_registers = code == 3 && response_length && data[0] % 2 != 0;
    if (data.size() == 4) {
        FrameReading reading;
        SetRange(reading, code, Word(data, 0), Word(data, 2));
        shape.readings.push_back(std::move(reading));
    }
    if (response_length && !odd_registers) {
        shape.readings.push_back(ReadResponse(code, data, request));
    }
    if (shape.readings.empty()) {
        shape.problem = "function " + CodeText(code) + " request needs 4 data bytes, frame has " +
                        std::to_string(data.size());
        if (odd_registers) {
            shape.problem += "; as a response, its byte count " + std::to_string(data[0]) +
                             " is odd, but registers take 2 bytes each";
        } else if (!data.empty()) {
            shape.problem += "; as a response, its byte count says " +
                             Plural(data[0], "byte follows", "bytes follow") + ", frame has " +
                             std::to_string(data.size() - 1);
        }
    }
    return shape;
}

// 05, 06: address and value; the response echoes the request, so both readings are the same.
Shape ReadSingleWrite(std::uint8_t code, Bytes data) {
    Shape shape;
    if (data.size() != 4) {
        shape.problem = "function " + CodeText(code) +
                        " request and response need 4 data bytes, frame has " +
                        std::to_string(data.size());
        return shape;
    }
    FrameReading reading;
    SetRange(reading, code, Word(data, 0), 1);
    const std::uint16_t word = Word(data, 2);
    if (code == 6) {
        AddWords(reading, code, data.subspan(2));
    } else if (word == 0xFF00 || word == 0x0000) {
        reading.values.push_back(
            {reading.first_device, static_cast<std::uint16_t>(word == 0xFF00 ? 1 : 0), {}});
    } else {
        reading.values.push_back({reading.first_device, 0, SpacedHex(data.subspan(2))});
        AddNote(reading, SpacedHex(data.subspan(2)) + " is neither FF 00 (on) nor 00 00 (off)");
    }
    shape.readings.push_back(reading);
    shape.readings.push_back(std::move(reading));
    shape.readings.back().role = FrameRole::Response;
    return shape;
}

// 15, 16: a request is start, quantity, byte count and data; the response is start and quantity.
Shape ReadMultipleWrite(std::uint8_t code, Bytes data) {
    Shape shape;
    const std::string function = "function " + CodeText(code);
    if (data.size() < 4) {
        shape.problem = function +
                        " response needs 4 data bytes and a request at least 5, frame has " +
                        std::to_string(data.size());
        return shape;
    }
    FrameReading reading;
    const std::uint16_t quantity = Word(data, 2);
    if (data.size() == 4) {
        reading.role = FrameRole::Response;
        SetRange(reading, code, Word(data, 0), quantity);
        shape.readings.push_back(std::move(reading));
        return shape;
    }
    const Bytes payload = data.subspan(5);
    const std::size_t needed =
        code == 15 ? (std::size_t{quantity} + 7) / 8 : std::size_t{quantity} * 2;
    if (data[4] != payload.size()) {
        shape.problem = function + " request says " +
                        Plural(data[4], "data byte follows", "data bytes follow") + ", frame has " +
                        std::to_string(payload.size());
    } else if (needed != payload.size()) {
        shape.problem = function + " request for " +
                        Plural(quantity, ItemsName(code), ItemsName(code)) + " needs " +
                        Plural(needed, "data byte", "data bytes") + ", its byte count says " +
                        std::to_string(data[4]);
    } else {
        SetRange(reading, code, Word(data, 0), quantity);
        if (code == 15) {
            AddBits(reading, code, payload, quantity);
        } else {
            AddWords(reading, code, payload);
        }
        shape.readings.push_back(std::move(reading));
    }
    return shape;
}

// 17: the request has no data; the response a byte count and that many bytes, which identify the
// controller in a way this map does not cover.
Shape ReadReportSlaveId(Bytes data) {
    Shape shape;
    FrameReading reading;
    if (data.empty()) {
        shape.readings.push_back(std::move(reading));
    } else if (data[0] == data.size() - 1) {
        reading.role = FrameRole::Response;
        reading.values.push_back({{}, 0, SpacedHex(data.subspan(1))});
        shape.readings.push_back(std::move(reading));
    } else {
        shape.problem = "function 17 response says " +
                        Plural(data[0], "byte follows", "bytes follow") + ", frame has " +
                        std::to_string(data.size() - 1);
    }
    return shape;
}

std::string ExceptionText(std::uint8_t exception) {
    constexpr std::string_view kNames[] = {"illegal function", "illegal data address",
                                           "illegal data value", "slave device failure"};
    std::string text = "exception " + HexByte(exception);
    if (exception >= 1 && exception <= std::size(kNames)) {
        text += " (" + std::string(kNames[exception - 1]) + ")";
    }
    return text;
}

Shape ReadException(const DecodedFrame& frame, Bytes data, const DecodedFrame* before) {
    Shape shape;
    if (data.size() != 1) {
        shape.problem = "exception response (function " + HexByte(frame.function) +
                        ") needs 1 data byte, frame has " + std::to_string(data.size());
        return shape;
    }
    FrameReading reading;
    reading.role = FrameRole::Exception;
    reading.exception = data[0];
    reading.note = ExceptionText(data[0]);
    const std::uint8_t code = frame.function & 0x7F;
    if (const auto* request = RequestBefore(frame, before, code)) {
        SetRange(reading, code, request->address, request->quantity);
    }
    shape.readings.push_back(std::move(reading));
    return shape;
}

Shape ReadData(const DecodedFrame& frame, const DecodedFrame* before) {
    const Bytes data = Bytes(frame.bytes).subspan(2);
    const std::uint8_t code = frame.function;
    if ((code & 0x80) != 0) {
        return ReadException(frame, data, before);
    }
    switch (code) {
        case 1:
        case 2:
        case 3:
            return ReadReadCode(code, data, RequestBefore(frame, before, code));
        case 5:
        case 6:
            return ReadSingleWrite(code, data);
        case 15:
        case 16:
            return ReadMultipleWrite(code, data);
        case 17:
            return ReadReportSlaveId(data);
        default:
            return {{},
                    "function 0x" + HexByte(code) +
                        " is not one the controller accepts (it accepts 01, 02, 03, 05, 06, 15, "
                        "16 and 17)"};
    }
}

DecodedFrame Failed(DecodedFrame& frame, Failure failure) {
    frame.bytes.clear();
    frame.error = failure.error;
    frame.message = std::move(failure.message);
    return std::move(frame);
}

}  // namespace

DecodedFrame DecodeFrame(std::string_view text, const DecodedFrame* before) {
    DecodedFrame frame;
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin &&
           (IsBlank(text[end - 1]) || text[end - 1] == '\r' || text[end - 1] == '\n')) {
        --end;
    }
    if (begin == end) {
        return Failed(frame, {FrameError::Empty, "no frame: the text is blank"});
    }
    frame.mode = text[begin] == ':' ? FrameMode::Ascii : FrameMode::Rtu;
    const std::size_t digits = frame.mode == FrameMode::Ascii ? begin + 1 : begin;
    if (auto failure = ReadHex(text, digits, end, frame.mode, frame.bytes)) {
        return Failed(frame, std::move(*failure));
    }

    const bool ascii = frame.mode == FrameMode::Ascii;
    const std::size_t checksum_size = ascii ? 1 : 2;
    if (frame.bytes.size() < 2 + checksum_size) {
        return Failed(frame, {FrameError::TooShort,
                              "frame too short: " + Plural(frame.bytes.size(), "byte", "bytes") +
                                  ", but slave address, function code and " +
                                  (ascii ? "LRC take 3" : "CRC take 4")});
    }
    const std::size_t size = frame.bytes.size() - checksum_size;
    const Bytes covered(frame.bytes.data(), size);
    if (ascii) {
        frame.checksum = frame.bytes[size];
        frame.checksum_expected = Lrc(covered);
    } else {
        frame.checksum = static_cast<std::uint16_t>(frame.bytes[size] | frame.bytes[size + 1] << 8);
        frame.checksum_expected = Crc16(covered);
    }
    frame.bytes.resize(size);
    frame.slave = frame.bytes[0];
    frame.function = frame.bytes[1];
    if (!frame.checksum_ok()) {
        frame.error = FrameError::BadChecksum;
        frame.message = std::string(ascii ? "LRC " : "CRC ") +
                        ChecksumText(frame.mode, frame.checksum_expected) +
                        " expected, frame says " + ChecksumText(frame.mode, frame.checksum);
    }

    Shape shape = ReadData(frame, before);
    frame.readings = std::move(shape.readings);
    if (!shape.problem.empty()) {
        if (frame.ok()) {
            const bool known =
                (frame.function & 0x80) != 0 || !FunctionName(frame.function).empty();
            frame.error = known ? FrameError::BadShape : FrameError::UnknownFunction;
            frame.message = std::move(shape.problem);
        } else {
            frame.message += "; " + shape.problem;
        }
    }
    return frame;
}

std::string FrameText(FrameMode mode, std::span<const std::uint8_t> bytes) {
    if (mode == FrameMode::Ascii) {
        std::string text = ":";
        for (const std::uint8_t byte : bytes) {
            AppendHexByte(text, byte);
        }
        AppendHexByte(text, Lrc(bytes));
        return text;
    }
    std::string text = SpacedHex(bytes);
    if (!text.empty()) {
        text += ' ';
    }
    return text + ChecksumText(mode, Crc16(bytes));
}

std::string ChecksumText(FrameMode mode, std::uint16_t checksum) {
    if (mode == FrameMode::Ascii) {
        return HexByte(static_cast<std::uint8_t>(checksum));
    }
    return HexByte(static_cast<std::uint8_t>(checksum)) + ' ' +
           HexByte(static_cast<std::uint8_t>(checksum >> 8));
}

std::string_view FunctionName(std::uint8_t function) noexcept {
    switch (function & 0x7F) {
        case 1:
            return "read coil status";
        case 2:
            return "read input status";
        case 3:
            return "read holding registers";
        case 5:
            return "force single coil";
        case 6:
            return "preset single register";
        case 15:
            return "force multiple coils";
        case 16:
            return "preset multiple registers";
        case 17:
            return "report slave id";
        default:
            return {};
    }
}

std::string_view RoleName(FrameRole role) noexcept {
    switch (role) {
        case FrameRole::Request:
            return "request";
        case FrameRole::Response:
            return "response";
        case FrameRole::Exception:
            return "exception";
    }
    return {};
}

std::string_view ModeName(FrameMode mode) noexcept {
    return mode == FrameMode::Ascii ? "ascii" : "rtu";
}

}  // namespace conversion
