// Property fuzzer for what comes off the wire: the frame finders, the end of an RTU reply, and a
// reply matched to its request.
//
// Byte 0 sets how the stream is cut into pieces, bytes 1-5 make a request (byte 1 the function,
// then start and quantity, high byte first), the rest is the stream a port delivers. Then
//   - each finder finds the same frames, and an ASCII finder skips the same bytes, whether the
//     stream comes whole or in pieces; a sound frame written again is the frame found, and sound
//     TCP frames written again one after the other are the stream they came from;
//   - ReadRtuReply, given the stream as it grows, decides once and keeps to it; a complete frame
//     has the CRC computed here, and a silent line never leaves it waiting;
//   - ReadReply takes the stream as a reply without trusting it, and a right answer built here
//     from the request as the values it carries.
// A violation aborts with a message, so a wrong answer counts as a finding just like a crash.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/reference_checksums.h"
#include "modbus/pdu.h"
#include "modbus/wire.h"

namespace {

using modbus::FunctionCode;
using modbus::RtuProgress;
using modbus::WireFrame;
using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

constexpr std::size_t kHeader = 6;
// Prefixes of the stream given to ReadRtuReply: enough for the longest reply of a read.
constexpr std::size_t kLongestRtuWatch = 300;

[[noreturn]] void Violation(const char* property, const std::string& detail) {
    std::fprintf(stderr, "\nPROPERTY VIOLATED: %s\n  %s\n", property, detail.c_str());
    std::abort();
}

std::string Shown(const WireFrame& frame) {
    std::string text = frame.text + " | " + frame.fault + " | " + std::to_string(frame.slave) + ":";
    for (const std::uint8_t byte : frame.pdu) {
        text += " " + std::to_string(byte);
    }
    return text + " | " + std::to_string(frame.transaction);
}

// The stream cut into pieces of 1 to 16 bytes, their sizes drawn from `seed`; one piece for 0.
std::vector<View> Pieces(View stream, std::uint8_t seed) {
    std::vector<View> pieces;
    std::uint32_t state = seed;
    for (std::size_t at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const std::size_t size = seed == 0 ? stream.size() : 1 + (state >> 16) % 16;
        const std::size_t taken = std::min(size, stream.size() - at);
        pieces.push_back(stream.subspan(at, taken));
        at += taken;
    }
    return pieces;
}

template <class Finder>
std::vector<WireFrame> Found(Finder& finder, const std::vector<View>& pieces) {
    std::vector<WireFrame> found;
    for (const View piece : pieces) {
        finder.Add(piece);
        while (auto frame = finder.Next()) {
            found.push_back(std::move(*frame));
        }
    }
    return found;
}

void CheckSame(const char* finder, const std::vector<WireFrame>& whole,
               const std::vector<WireFrame>& pieces) {
    if (whole.size() != pieces.size()) {
        Violation(finder, "found " + std::to_string(whole.size()) + " frames whole, " +
                              std::to_string(pieces.size()) + " in pieces");
    }
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (Shown(whole[i]) != Shown(pieces[i])) {
            Violation(finder, "whole: " + Shown(whole[i]) + "\n  pieces: " + Shown(pieces[i]));
        }
    }
}

void CheckAscii(View stream, const std::vector<View>& pieces) {
    modbus::AsciiFrameFinder whole_finder, piece_finder;
    const auto whole = Found(whole_finder, {stream});
    CheckSame("an ASCII finder finds the same frames in pieces", whole,
              Found(piece_finder, pieces));
    if (whole_finder.skipped() != piece_finder.skipped()) {
        Violation("an ASCII finder skips the same bytes in pieces", "");
    }
    for (const WireFrame& frame : whole) {
        if (frame.fault.empty() &&
            modbus::AsciiFrame(frame.slave, frame.pdu) != frame.text + "\r\n") {
            Violation("a sound ASCII frame written again is its text", Shown(frame));
        }
    }
}

void CheckTcp(View stream, const std::vector<View>& pieces) {
    modbus::TcpFrameFinder whole_finder, piece_finder;
    const auto whole = Found(whole_finder, {stream});
    CheckSame("a TCP finder finds the same frames in pieces", whole, Found(piece_finder, pieces));
    if (whole_finder.lost() != piece_finder.lost()) {
        Violation("a TCP finder loses the stream alike in pieces", "");
    }
    Bytes written;
    for (const WireFrame& frame : whole) {
        if (frame.fault.empty()) {
            const Bytes again = modbus::TcpFrame(frame.transaction, frame.slave, frame.pdu);
            written.insert(written.end(), again.begin(), again.end());
        }
    }
    if (written.size() > stream.size() ||
        !std::equal(written.begin(), written.end(), stream.begin())) {
        Violation("sound TCP frames written again are the stream they came from", "");
    }
}

void CheckRtu(View stream, View request) {
    const std::size_t longest = std::min(stream.size(), kLongestRtuWatch);
    std::optional<modbus::RtuReplyState> decided;
    for (std::size_t size = 0; size <= longest; ++size) {
        const View received = stream.first(size);
        const auto state = modbus::ReadRtuReply(received, request, false);
        if (decided && (state.progress != decided->progress || state.size != decided->size)) {
            Violation("a decided RTU reply stays decided as bytes arrive", state.frame.text);
        }
        if (state.progress != RtuProgress::NeedMore) {
            if (state.size == 0 || state.size > size) {
                Violation("an RTU reply takes some of the bytes received", state.frame.text);
            }
            decided = state;
        }
        const auto silent = modbus::ReadRtuReply(received, request, true);
        if (size > 0 && silent.progress == RtuProgress::NeedMore) {
            Violation("a silent line never leaves an RTU reply waiting", silent.frame.text);
        }
        if (silent.progress == RtuProgress::Complete) {
            const View frame = received.first(silent.size);
            const auto crc =
                static_cast<std::uint16_t>(frame[silent.size - 2] | frame[silent.size - 1] << 8);
            if (crc != ReferenceCrc(frame.first(silent.size - 2)) ||
                !std::equal(silent.frame.pdu.begin(), silent.frame.pdu.end(), frame.begin() + 1) ||
                silent.frame.pdu.size() != silent.size - 3) {
                Violation("a complete RTU frame has its CRC right and its PDU inside",
                          silent.frame.text);
            }
        }
    }
}

// A right answer to `request`, its data taken from `stream`, and the values it carries.
std::pair<Bytes, std::vector<std::uint16_t>> RightAnswer(View request, View stream) {
    const auto code = static_cast<FunctionCode>(request[0]);
    if (code != FunctionCode::ReadCoils && code != FunctionCode::ReadDiscreteInputs &&
        code != FunctionCode::ReadHoldingRegisters) {
        return {Bytes(request.begin(), request.begin() + 5), {}};
    }
    const std::size_t quantity = static_cast<std::size_t>(request[3] << 8 | request[4]);
    const bool words = code == FunctionCode::ReadHoldingRegisters;
    const std::size_t count = words ? 2 * quantity : (quantity + 7) / 8;
    Bytes answer{request[0], static_cast<std::uint8_t>(count)};
    for (std::size_t i = 0; i < count; ++i) {
        answer.push_back(stream.empty() ? 0 : stream[i % stream.size()]);
    }
    std::vector<std::uint16_t> values;
    for (std::size_t i = 0; i < quantity; ++i) {
        values.push_back(
            words ? static_cast<std::uint16_t>(answer[2 + 2 * i] << 8 | answer[3 + 2 * i])
                  : static_cast<std::uint16_t>((answer[2 + i / 8] >> (i % 8)) & 1));
    }
    return {answer, values};
}

void CheckReply(View request, View stream) {
    const auto reply = modbus::ReadReply(request, stream);
    const bool refused = reply.kind == modbus::ReplyKind::Exception;
    if ((reply.kind == modbus::ReplyKind::Unrelated) == reply.message.empty() ||
        (refused && (stream.size() != 2 || stream[0] != (request[0] | 0x80)))) {
        Violation("a reply is an answer, an exception of two bytes, or a problem said",
                  reply.message);
    }
    if (reply.kind == modbus::ReplyKind::Values && modbus::ReplyPduSize(request) != stream.size()) {
        Violation("an answer has the size the request asks for", "");
    }
    const auto [answer, values] = RightAnswer(request, stream);
    const auto right = modbus::ReadReply(request, answer);
    if (right.kind != modbus::ReplyKind::Values || right.values != values) {
        Violation("a right answer gives the values it carries", right.message);
    }
}

Bytes MakeRequest(const std::uint8_t* header, View stream) {
    constexpr FunctionCode kCodes[] = {FunctionCode::ReadCoils,
                                       FunctionCode::ReadDiscreteInputs,
                                       FunctionCode::ReadHoldingRegisters,
                                       FunctionCode::WriteSingleCoil,
                                       FunctionCode::WriteSingleRegister,
                                       FunctionCode::WriteMultipleCoils,
                                       FunctionCode::WriteMultipleRegisters};
    const FunctionCode code = kCodes[header[0] % std::size(kCodes)];
    const auto start = static_cast<std::uint16_t>(header[1] << 8 | header[2]);
    const unsigned number = static_cast<unsigned>(header[3] << 8 | header[4]);
    const unsigned most = modbus::MostItems(code).value_or(1);
    const auto quantity = static_cast<std::uint16_t>(1 + number % most);
    if (code == FunctionCode::ReadCoils || code == FunctionCode::ReadDiscreteInputs ||
        code == FunctionCode::ReadHoldingRegisters) {
        return modbus::RequestPdu(modbus::ReadRequest{code, start, quantity});
    }
    modbus::WriteRequest write{code, start, {}};
    for (std::size_t i = 0; i < quantity; ++i) {
        write.values.push_back(stream.empty() ? 0 : stream[i % stream.size()]);
    }
    const Bytes pdu = modbus::RequestPdu(write);
    if (pdu.empty()) {
        Violation("a write of as many values as its code carries can be sent", "");
    }
    return pdu;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const View input(data, size);
    const View stream = size >= kHeader ? input.subspan(kHeader) : input;
    const auto pieces = Pieces(stream, size > 0 ? data[0] : 0);
    CheckAscii(stream, pieces);
    CheckTcp(stream, pieces);
    if (size < kHeader) {
        return 0;
    }
    const Bytes request = MakeRequest(data + 1, stream);
    CheckRtu(stream, request);
    CheckReply(request, stream);
    return 0;
}
