#include "modbus/function_data.h"

#include <algorithm>

#include "modbus/function_shapes.h"
#include "modbus/word_bytes.h"
#include "text/ascii_text.h"

namespace modbus {

using detail::WordAt;

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::string_view kNoStartAddress =
    "a response does not carry its start address: read after its request, it names the devices";

constexpr std::string_view kUntrustedRequest =
    "the request before it has a wrong checksum, so it is not read against that request";

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    std::string text = std::to_string(count);
    return text.append(" ").append(count == 1 ? one : many);
}

// `count` bits packed the protocol's way: the first in the lowest bit of the first byte.
void AddBits(std::vector<ItemValue>& values, Bytes packed, std::size_t count) {
    values.reserve(values.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        values.emplace_back(static_cast<std::uint16_t>(packed[i / 8] >> (i % 8) & 1));
    }
}

// Words, high byte first.
void AddWords(std::vector<ItemValue>& values, Bytes data) {
    values.reserve(values.size() + data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        values.emplace_back(WordAt(data, i));
    }
}

// The range, with a note where the protocol refuses its quantity whatever the server.
void SetRange(DataReading& reading, FunctionCode code, FrameRange range) {
    reading.range = range;
    const FunctionShape* row = ShapeOf(code);
    if (row == nullptr || row->most_items == 0 ||
        (range.quantity >= 1 && range.quantity <= row->most_items)) {
        return;
    }
    text::ascii::AppendNote(
        reading.note,
        text::ascii::Joined(
            {FunctionText(code), row->writes ? " writes 1 to " : " reads 1 to ",
             ItemCount(code, row->most_items), ": the controller, as any Modbus server, answers ",
             std::to_string(range.quantity), " with ", ExceptionText(kIllegalDataValue)}));
}

DataReading Ranged(FrameRole role, FunctionCode code, FrameRange range) {
    DataReading reading;
    reading.role = role;
    SetRange(reading, code, range);
    return reading;
}

// The request before, when it can give this frame its range; a note when it cannot be trusted to.
const PrecedingRequest* Trusted(DataReading& reading, const PrecedingRequest* request) {
    if (request != nullptr && !request->checksum_ok) {
        text::ascii::AppendNote(reading.note, kUntrustedRequest);
        return nullptr;
    }
    return request;
}

// A response to 01, 02 or 03: a byte count, then bits or words. The size of the data it answers
// a request with, when that fixes it, must match before the request's range is taken.
DataReading ReadResponse(const FunctionShape& row, Bytes payload, const PrecedingRequest* before) {
    const FunctionCode code = row.code;
    DataReading reading;
    reading.role = FrameRole::Response;
    if (const auto* request = Trusted(reading, before)) {
        const std::uint16_t quantity = request->range.quantity;
        const std::size_t expected = ItemBytes(row, quantity);
        if (!request->size_fixed || expected == payload.size()) {
            SetRange(reading, code, request->range);
        } else {
            text::ascii::AppendNote(
                reading.note,
                text::ascii::Joined(
                    {"it does not answer the request before it, whose ", ItemCount(code, quantity),
                     quantity == 1 ? " takes " : " take ", Plural(expected, "byte", "bytes")}));
        }
    }
    if (!reading.range) {
        text::ascii::AppendNote(reading.note, kNoStartAddress);
    }
    if (row.items == ItemKind::Registers) {
        AddWords(reading.values, payload);
    } else if (reading.range) {
        AddBits(reading.values, payload,
                std::min<std::size_t>(reading.range->quantity, payload.size() * 8));
    } else if (!payload.empty()) {
        reading.values.emplace_back(RawBytes{text::ascii::SpacedHex(payload)});
        text::ascii::AppendNote(
            reading.note,
            text::ascii::Joined({"without its request, it does not say how many ",
                                 code == FunctionCode::ReadCoils ? "coils" : "inputs",
                                 " its last byte holds, so its data is shown as raw bytes"}));
    }
    return reading;
}

// 01, 02, 03: a request is start and quantity; a response is a byte count and the data. Four data
// bytes beginning with 03 fit both for 01 and 02.
FrameData ReadReadFunctionData(const FunctionShape& row, Bytes data,
                               const PrecedingRequest* request) {
    const FunctionCode code = row.code;
    FrameData shape;
    const bool response_length = !data.empty() && data[0] == data.size() - 1;
    const bool odd_registers =
        row.items == ItemKind::Registers && response_length && data[0] % 2 != 0;
    if (data.size() == 4) {
        shape.readings.push_back(
            Ranged(FrameRole::Request, code, {WordAt(data, 0), WordAt(data, 2)}));
    }
    if (response_length && !odd_registers) {
        shape.readings.push_back(ReadResponse(row, data.subspan(1), request));
    }
    if (shape.readings.empty()) {
        shape.message =
            text::ascii::Joined({FunctionText(code), " request needs 4 data bytes, frame has ",
                                 std::to_string(data.size())});
        if (odd_registers) {
            shape.message +=
                text::ascii::Joined({"; as a response, its byte count ", std::to_string(data[0]),
                                     " is odd, but registers take 2 bytes each"});
        } else if (!data.empty()) {
            shape.message += text::ascii::Joined({"; as a response, its byte count says ",
                                                  Plural(data[0], "byte follows", "bytes follow"),
                                                  ", frame has ", std::to_string(data.size() - 1)});
        }
    }
    return shape;
}

// 05, 06: address and value; the response echoes the request, so both readings are the same.
FrameData ReadSingleWrite(const FunctionShape& row, Bytes data) {
    const FunctionCode code = row.code;
    FrameData shape;
    if (data.size() != 4) {
        shape.message = text::ascii::Joined({FunctionText(code),
                                             " request and response need 4 data bytes, frame has ",
                                             std::to_string(data.size())});
        return shape;
    }
    DataReading reading = Ranged(FrameRole::Request, code, {WordAt(data, 0), 1});
    const std::uint16_t word = WordAt(data, 2);
    if (row.items == ItemKind::Registers) {
        reading.values.emplace_back(word);
    } else if (word == 0xFF00 || word == 0x0000) {
        reading.values.emplace_back(static_cast<std::uint16_t>(word == 0xFF00 ? 1 : 0));
    } else {
        reading.values.emplace_back(RawBytes{text::ascii::SpacedHex(data.subspan(2))});
        reading.values_note = text::ascii::Joined(
            {text::ascii::SpacedHex(data.subspan(2)), " is neither FF 00 (on) nor 00 00 (off)"});
    }
    shape.readings.push_back(reading);
    shape.readings.push_back(std::move(reading));
    shape.readings.back().role = FrameRole::Response;
    return shape;
}

// 15, 16: a request is start, quantity, byte count and data; the response is start and quantity.
FrameData ReadMultipleWrite(const FunctionShape& row, Bytes data) {
    const FunctionCode code = row.code;
    FrameData shape;
    if (data.size() < 4) {
        shape.message = text::ascii::Joined(
            {FunctionText(code),
             " response needs 4 data bytes and a request at least 5, frame has ",
             std::to_string(data.size())});
        return shape;
    }
    const FrameRange range{WordAt(data, 0), WordAt(data, 2)};
    if (data.size() == 4) {
        shape.readings.push_back(Ranged(FrameRole::Response, code, range));
        return shape;
    }
    const Bytes payload = data.subspan(5);
    const std::size_t needed = ItemBytes(row, range.quantity);
    if (data[4] != payload.size()) {
        shape.message =
            text::ascii::Joined({FunctionText(code), " request says ",
                                 Plural(data[4], "data byte follows", "data bytes follow"),
                                 ", frame has ", std::to_string(payload.size())});
    } else if (needed != payload.size()) {
        shape.message = text::ascii::Joined({FunctionText(code), " request for ",
                                             ItemCount(code, range.quantity), " needs ",
                                             Plural(needed, "data byte", "data bytes"),
                                             ", its byte count says ", std::to_string(data[4])});
    } else {
        DataReading reading = Ranged(FrameRole::Request, code, range);
        if (row.items == ItemKind::Bits) {
            AddBits(reading.values, payload, range.quantity);
        } else {
            AddWords(reading.values, payload);
        }
        shape.readings.push_back(std::move(reading));
    }
    return shape;
}

// 17: the request has no data; the response a byte count and that many bytes, which identify the
// controller in a way this map does not cover.
FrameData ReadReportSlaveId(Bytes data) {
    FrameData shape;
    DataReading reading;
    reading.role = FrameRole::Request;
    if (data.empty()) {
        shape.readings.push_back(std::move(reading));
    } else if (data[0] == data.size() - 1) {
        reading.role = FrameRole::Response;
        if (data.size() > 1) {
            reading.values.emplace_back(RawBytes{text::ascii::SpacedHex(data.subspan(1))});
        }
        shape.readings.push_back(std::move(reading));
    } else {
        shape.message =
            text::ascii::Joined({FunctionText(FunctionCode::ReportServerId), " response says ",
                                 Plural(data[0], "byte follows", "bytes follow"), ", frame has ",
                                 std::to_string(data.size() - 1)});
    }
    return shape;
}

FrameData ReadException(FunctionCode code, Bytes data, const PrecedingRequest* request) {
    FrameData shape;
    if (data.size() != 1) {
        shape.message =
            text::ascii::Joined({"exception response to ", FunctionText(code),
                                 " needs 1 data byte, frame has ", std::to_string(data.size())});
        return shape;
    }
    DataReading reading;
    reading.role = FrameRole::Exception;
    reading.exception = data[0];
    reading.note = ExceptionText(data[0]);
    if (const auto* trusted = Trusted(reading, request)) {
        SetRange(reading, code, trusted->range);
    }
    shape.readings.push_back(std::move(reading));
    return shape;
}

// A code the controller does not accept: a frame all the same, its data kept as it came.
FrameData KeepUnread(FunctionCode code, Bytes data) {
    FrameData shape;
    DataReading reading;
    if (!data.empty()) {
        reading.values.emplace_back(RawBytes{text::ascii::SpacedHex(data)});
    }
    reading.note =
        text::ascii::Joined({FunctionText(code), " is not one the controller accepts (it accepts ",
                             ServedCodesText(), "): its data is not decoded"});
    shape.readings.push_back(std::move(reading));
    return shape;
}

}  // namespace

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

FrameData ReadFrameData(std::uint8_t function, std::span<const std::uint8_t> data,
                        const PrecedingRequest* request) {
    const FunctionCode code = CodeOf(function);
    if (IsExceptionFunction(function)) {
        return ReadException(code, data, request);
    }
    // Only the controller's codes are decoded: a capture names the controller's devices.
    const FunctionShape* shape = ServedShape(code);
    if (shape == nullptr) {
        return KeepUnread(code, data);
    }
    switch (shape->request) {
        case RequestLayout::StartQuantity:
            return ReadReadFunctionData(*shape, data, request);
        case RequestLayout::AddressValue:
            return ReadSingleWrite(*shape, data);
        case RequestLayout::CountedValues:
            return ReadMultipleWrite(*shape, data);
        case RequestLayout::CodeAlone:
            return ReadReportSlaveId(data);
    }
    return KeepUnread(code, data);
}

}  // namespace modbus
