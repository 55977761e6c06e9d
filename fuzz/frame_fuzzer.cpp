// Property fuzzer for the frame decoder.
//
// Each input is used twice. As text, it must decode without a fault into either a frame or an
// error that says what is wrong (and where, inside the text); a frame's readings name their first
// and last device together, the first value's device being the first one. As bytes, byte 0 picks
// the mode (bit 0) and whether a frame comes before (bit 1, split at byte 1), the rest are the
// bytes from slave address to last data byte: they are framed with a checksum computed here (a sum,
// and a bit-by-bit CRC, independent of the library's), and then
//   - the frame decodes with its checksum right, to the same readings in ASCII and in RTU;
//   - a request re-encoded from its decoded fields decodes to the same fields;
//   - the frame with one byte changed (checksum bytes included) is caught by the checksum.
// A violation aborts with a message, so a wrong reading counts as a finding just like a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "conversion/captured_frame.h"
#include "fuzz/reference_checksums.h"

namespace {

using conversion::DecodedFrame;
using conversion::DecodeFrame;
using conversion::FrameReading;
using conversion::FrameValue;
using modbus::FrameError;
using modbus::FrameMode;
using modbus::FrameRole;
using modbus::RawBytes;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& bytes, bool spaced) {
    std::string out;
    char pair[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, spaced && !out.empty() ? " %02X" : "%02X", byte);
        out += pair;
    }
    return out;
}

[[noreturn]] void Violation(const char* property, const std::string& frame,
                            const std::string& detail) {
    std::fprintf(stderr, "\nPROPERTY VIOLATED: %s\n  frame: %s\n  %s\n", property, frame.c_str(),
                 detail.c_str());
    std::abort();
}

// The whole frame: the bytes and their checksum.
Bytes Framed(FrameMode mode, Bytes bytes) {
    if (mode == FrameMode::Ascii) {
        bytes.push_back(ReferenceLrc(bytes));
    } else {
        const std::uint16_t crc = ReferenceCrc(bytes);
        bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    return bytes;
}

std::string Text(FrameMode mode, const Bytes& framed) {
    return mode == FrameMode::Ascii ? ":" + Hex(framed, false) + "\r\n" : Hex(framed, true);
}

const std::string* RawOf(const FrameValue& value) {
    const auto* raw = std::get_if<RawBytes>(&value.value);
    return raw != nullptr ? &raw->hex : nullptr;
}

std::uint16_t ValueOf(const FrameValue& value) {
    const auto* word = std::get_if<std::uint16_t>(&value.value);
    return word != nullptr ? *word : 0;
}

std::string ErrorText(const DecodedFrame& frame) {
    return frame.error ? frame.error->message : std::string();
}

std::string ReadingText(const FrameReading& reading) {
    std::string text(reading.role ? modbus::RoleName(*reading.role) : "undecoded");
    if (reading.range) {
        text += " address " + std::to_string(reading.range->address) + " quantity " +
                std::to_string(reading.range->quantity);
    }
    text += " " + reading.first_device + "-" + reading.last_device + " values";
    for (const auto& value : reading.values) {
        const std::string* raw = RawOf(value);
        text +=
            " " + value.device + ":" + (raw ? "[" + *raw + "]" : std::to_string(ValueOf(value)));
    }
    return text + " note: " + reading.note;
}

// A decoded request written back as bytes, from its fields alone.
Bytes Encode(const DecodedFrame& frame, const FrameReading& request) {
    Bytes bytes{frame.head->slave, frame.head->function};
    const auto word = [&bytes](unsigned value) {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        bytes.push_back(static_cast<std::uint8_t>(value));
    };
    const auto raw = [&bytes](const std::string& hex) {
        for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
    };
    if (!request.range) {  // 17
        return bytes;
    }
    word(request.range->address);
    const std::uint16_t quantity = request.range->quantity;
    switch (frame.head->function) {
        case 5:
            if (const std::string* hex = RawOf(request.values.at(0))) {
                raw(*hex);
            } else {
                word(ValueOf(request.values.at(0)) != 0 ? 0xFF00 : 0x0000);
            }
            break;
        case 6:
            if (const std::string* hex = RawOf(request.values.at(0))) {
                raw(*hex);
            } else {
                word(ValueOf(request.values.at(0)));
            }
            break;
        case 15: {
            word(quantity);
            Bytes packed((request.values.size() + 7) / 8);
            for (std::size_t i = 0; i < request.values.size(); ++i) {
                packed[i / 8] = static_cast<std::uint8_t>(
                    packed[i / 8] | (ValueOf(request.values[i]) & 1) << (i % 8));
            }
            bytes.push_back(static_cast<std::uint8_t>(packed.size()));
            bytes.insert(bytes.end(), packed.begin(), packed.end());
            break;
        }
        case 16: {
            word(quantity);
            bytes.push_back(static_cast<std::uint8_t>(quantity * 2));
            for (const auto& value : request.values) {
                if (const std::string* hex = RawOf(value)) {
                    raw(*hex);
                } else {
                    word(ValueOf(value));
                }
            }
            break;
        }
        default:  // 01, 02, 03
            word(quantity);
            break;
    }
    return bytes;
}

const FrameReading* RequestOf(const DecodedFrame& frame) {
    for (const auto& reading : frame.readings) {
        if (reading.role == FrameRole::Request) {
            return &reading;
        }
    }
    return nullptr;
}

void CheckText(std::string_view text) {
    const DecodedFrame frame = DecodeFrame(text);
    const std::string shown = Hex(Bytes(text.begin(), text.end()), true);
    if (frame.error && frame.error->message.empty()) {
        Violation("an error comes with a message", shown, "");
    }
    if (frame.error && frame.error->offset && *frame.error->offset >= text.size()) {
        Violation("an error's position lies inside the text", shown, frame.error->message);
    }
    const bool framed = !frame.error || frame.error->kind == FrameError::BadChecksum ||
                        frame.error->kind == FrameError::BadShape;
    if (framed != frame.head.has_value()) {
        Violation("a head is read exactly when the text is a frame", shown, ErrorText(frame));
    }
    if (frame.ok() && (!frame.head->checksum_ok() || frame.readings.empty())) {
        Violation("a frame without error has its checksum right and a reading", shown, "");
    }
    for (const auto& reading : frame.readings) {
        const bool named = !reading.values.empty() && !reading.values[0].device.empty() &&
                           reading.values[0].device.find('-') == std::string::npos;
        if (reading.first_device.empty() != reading.last_device.empty() ||
            (named && reading.values[0].device != reading.first_device)) {
            Violation("first and last device come together, the first value's device first", shown,
                      ReadingText(reading));
        }
    }
}

void CheckFrame(FrameMode mode, const Bytes& before, const Bytes& body, std::uint8_t flip_at,
                std::uint8_t flip_mask) {
    const DecodedFrame previous = DecodeFrame(Text(mode, Framed(mode, before)));
    const DecodedFrame* context = before.empty() ? nullptr : &previous;
    const Bytes framed = Framed(mode, body);
    const std::string text = Text(mode, framed);
    const DecodedFrame frame = DecodeFrame(text, context);

    if (!frame.head || !frame.head->checksum_ok() ||
        (frame.error && frame.error->kind == FrameError::BadChecksum)) {
        Violation("a frame with the checksum computed here has it right", text, ErrorText(frame));
    }
    if (frame.bytes != body) {
        Violation("the frame's bytes are the bytes it was made from", text, Hex(frame.bytes, true));
    }
    if (modbus::FrameText(mode, body) + (mode == FrameMode::Ascii ? "\r\n" : "") != text) {
        Violation("FrameText writes the frame made here", text, modbus::FrameText(mode, body));
    }
    const FrameMode other_mode = mode == FrameMode::Ascii ? FrameMode::Rtu : FrameMode::Ascii;
    const DecodedFrame other_previous = DecodeFrame(Text(other_mode, Framed(other_mode, before)));
    const DecodedFrame other = DecodeFrame(Text(other_mode, Framed(other_mode, body)),
                                           context ? &other_previous : nullptr);
    if (other.readings != frame.readings || ErrorText(other) != ErrorText(frame)) {
        Violation("ASCII and RTU frames of the same bytes read alike", text,
                  ErrorText(other) + " / " + ErrorText(frame));
    }

    if (const FrameReading* request = RequestOf(frame)) {
        const Bytes encoded = Encode(frame, *request);
        const DecodedFrame again = DecodeFrame(Text(mode, Framed(mode, encoded)));
        const FrameReading* request_again = RequestOf(again);
        if (!again.head || again.head->slave != frame.head->slave ||
            again.head->function != frame.head->function || request_again == nullptr ||
            !(*request_again == *request)) {
            Violation("a request re-encoded from its fields decodes to the same fields", text,
                      "re-encoded " + Hex(encoded, true) + " reads " +
                          (request_again ? ReadingText(*request_again) : ErrorText(again)) +
                          "\n  instead of " + ReadingText(*request));
        }
    }

    Bytes flipped = framed;
    flipped[flip_at % flipped.size()] ^= flip_mask == 0 ? 1 : flip_mask;
    const DecodedFrame corrupted = DecodeFrame(Text(mode, flipped));
    if (!corrupted.head || corrupted.head->checksum_ok() ||
        corrupted.error->kind != FrameError::BadChecksum) {
        Violation("a changed byte is caught by the checksum", Text(mode, flipped),
                  ErrorText(corrupted));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (size < 5) {
        return 0;
    }
    const FrameMode mode = (data[0] & 1) != 0 ? FrameMode::Ascii : FrameMode::Rtu;
    const std::uint8_t flip_at = data[1];
    const std::uint8_t flip_mask = data[2];
    Bytes body(data + 3, data + size);
    Bytes before;
    if ((data[0] & 2) != 0) {
        const std::size_t split = flip_at % body.size();
        before.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(split));
        body.erase(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(split));
    }
    if (body.size() < 2) {
        return 0;
    }
    CheckFrame(mode, before, body, flip_at, flip_mask);
    return 0;
}
