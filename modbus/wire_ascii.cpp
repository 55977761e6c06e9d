// Modbus ASCII on the wire. Reading the hex of a frame and its LRC, and the text --verbose shows,
// come from frame_text.h, so they are exactly what zentriq-lookup --frame reads.
#include <string_view>
#include <variant>

#include "modbus/frame_text.h"
#include "modbus/wire.h"
#include "text/ascii_text.h"

namespace modbus {

namespace {

// ':', slave, function, 252 data bytes and the LRC in hex, CR LF.
constexpr std::size_t kLongestAsciiFrame = 513;

// What arrived, as a message may show it: line noise can hold any byte.
std::string Escaped(std::string_view received) {
    std::string text;
    text.reserve(received.size());
    for (const char c : received) {
        text::ascii::AppendEscaped(text, c);
    }
    return text;
}

WireFrame FaultyAscii(std::string_view received, std::string fault) {
    WireFrame frame;
    frame.text = Escaped(received);
    frame.fault = std::move(fault);
    return frame;
}

// A frame that ended at its LF, the LF left out.
WireFrame AsciiFound(std::string_view received) {
    if (received.back() != '\r') {
        return FaultyAscii(received, "the frame ends in LF without a CR before it");
    }
    received.remove_suffix(1);
    auto read = ReadFrameText(received);
    if (auto* fault = std::get_if<FrameFault>(&read)) {
        return FaultyAscii(received, std::move(fault->message));
    }
    const auto& framed = std::get<FramedBytes>(read);
    WireFrame frame;
    frame.slave = framed.head.slave;
    frame.pdu.assign(framed.bytes.begin() + 1, framed.bytes.end());
    if (auto fault = ChecksumFault(framed.head)) {
        // The LRC as it arrived, not as it should be: the text must show what is wrong.
        frame.text = Escaped(received);
        frame.fault = std::move(fault->message);
    } else {
        frame.text = FrameText(FrameMode::Ascii, framed.bytes);
    }
    return frame;
}

}  // namespace

std::string AsciiFrame(std::uint8_t slave, std::span<const std::uint8_t> pdu) {
    return FrameText(FrameMode::Ascii, SlaveAndPdu(slave, pdu)) + "\r\n";
}

void AsciiFrameFinder::Add(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        const auto c = static_cast<char>(byte);
        if (c == ':') {
            if (in_frame_) {
                WireFrame cut = FaultyAscii(partial_, "unfinished: a ':' began a new frame after " +
                                                          std::to_string(partial_.size()) +
                                                          " characters of this one");
                cut.cut = true;
                Found(std::move(cut));
            }
            partial_.assign(1, c);
            in_frame_ = true;
        } else if (!in_frame_) {
            ++skipped_;
        } else if (c == '\n') {
            Found(AsciiFound(partial_));
            in_frame_ = false;
        } else {
            partial_ += c;
            // Even a frame whose LF comes next would now be too long.
            if (partial_.size() + 1 > kLongestAsciiFrame) {
                Found(FaultyAscii(partial_, "longer than " + std::to_string(kLongestAsciiFrame) +
                                                " characters, the longest frame there is"));
                in_frame_ = false;
            }
        }
    }
}

void AsciiFrameFinder::Clear() {
    FrameFinder::Clear();
    partial_.clear();
    in_frame_ = false;
}

}  // namespace modbus
