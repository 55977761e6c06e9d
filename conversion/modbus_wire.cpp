// The three transports' framing. Reading the hex of an ASCII frame and its LRC, and the texts
// --verbose shows, come from modbus_framing, so they are exactly what zentriq-lookup --frame reads.
#include "conversion/modbus_wire.h"

#include <algorithm>
#include <string_view>
#include <variant>

#include "text/ascii_text.h"
#include "conversion/frame_checksum.h"
#include "conversion/modbus_framing.h"
#include "conversion/modbus_functions.h"
#include "conversion/modbus_pdu.h"
#include "conversion/word_bytes.h"

namespace conversion {

using detail::AppendWord;
using detail::WordAt;

namespace {

// ':', slave, function, 252 data bytes and the LRC in hex, CR LF.
constexpr std::size_t kLongestAsciiFrame = 513;
// The slave address before an RTU PDU and the CRC after it.
constexpr std::size_t kRtuOverhead = 3;
constexpr std::size_t kExceptionPdu = 2;
// Slave, function and CRC.
constexpr std::size_t kShortestRtuFrame = 4;
constexpr std::uint32_t kFastestTimedBaud = 19200;
constexpr std::uint32_t kFastLineSilence = 1750;
// Transaction, protocol and length: the MBAP header before the unit.
constexpr std::size_t kMbapHeader = 6;
// Unit and function at least; unit and the longest PDU at most.
constexpr std::uint16_t kShortestTcpLength = 2;
constexpr std::uint16_t kLongestTcpLength = 254;

std::vector<std::uint8_t> SlaveAndPdu(std::uint8_t slave, std::span<const std::uint8_t> pdu) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(pdu.size() + kRtuOverhead);
    bytes.push_back(slave);
    bytes.insert(bytes.end(), pdu.begin(), pdu.end());
    return bytes;
}

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

std::uint16_t RtuChecksum(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[frame.size() - 2] | frame[frame.size() - 1] << 8);
}

}  // namespace

// ---- Modbus ASCII ----

std::string AsciiFrame(std::uint8_t slave, std::span<const std::uint8_t> pdu) {
    return FrameText(FrameMode::Ascii, SlaveAndPdu(slave, pdu)) + "\r\n";
}

void AsciiFrameFinder::Add(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        const auto c = static_cast<char>(byte);
        if (c == ':') {
            if (in_frame_) {
                found_.push_back(FaultyAscii(
                    partial_, "unfinished: a ':' began a new frame after " +
                                  std::to_string(partial_.size()) + " characters of this one"));
            }
            partial_.assign(1, c);
            in_frame_ = true;
        } else if (!in_frame_) {
            ++skipped_;
        } else if (c == '\n') {
            found_.push_back(AsciiFound(partial_));
            in_frame_ = false;
        } else {
            partial_ += c;
            // Even a frame whose LF comes next would now be too long.
            if (partial_.size() + 1 > kLongestAsciiFrame) {
                found_.push_back(
                    FaultyAscii(partial_, "longer than " + std::to_string(kLongestAsciiFrame) +
                                              " characters, the longest frame there is"));
                in_frame_ = false;
            }
        }
    }
}

std::optional<WireFrame> AsciiFrameFinder::Next() {
    if (next_ == found_.size()) {
        found_.clear();
        next_ = 0;
        return std::nullopt;
    }
    return std::move(found_[next_++]);
}

void AsciiFrameFinder::Clear() {
    partial_.clear();
    in_frame_ = false;
    found_.clear();
    next_ = 0;
}

// ---- Modbus RTU ----

std::vector<std::uint8_t> RtuFrame(std::uint8_t slave, std::span<const std::uint8_t> pdu) {
    std::vector<std::uint8_t> frame = SlaveAndPdu(slave, pdu);
    const std::uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

std::uint32_t RtuSilenceMicroseconds(std::uint32_t baud,
                                     std::uint32_t bits_per_character) noexcept {
    // 3.5 characters of `bits_per_character` bits, in microseconds, rounded up; a baud of 0 would
    // never end a frame, so it counts as the slowest line there is.
    const std::uint64_t numerator = 35ull * bits_per_character * 1'000'000ull;
    const std::uint64_t denominator = 10ull * std::max(baud, 1u);
    const std::uint64_t silence =
        std::min<std::uint64_t>((numerator + denominator - 1) / denominator, UINT32_MAX);
    return static_cast<std::uint32_t>(
        baud > kFastestTimedBaud ? std::max<std::uint64_t>(silence, kFastLineSilence) : silence);
}

RtuReplyState ReadRtuReply(std::span<const std::uint8_t> received,
                           std::span<const std::uint8_t> request_pdu, bool silent) {
    RtuReplyState state;
    if (received.empty()) {
        return state;
    }
    std::size_t size = 0;  // unknown for a request this cannot size: the silence ends the frame
    if (received.size() >= 2 && IsExceptionFunction(received[1])) {
        size = kRtuOverhead + kExceptionPdu;
    } else if (const std::size_t pdu = ReplyPduSize(request_pdu); pdu != 0) {
        size = kRtuOverhead + pdu;
    }
    if (size == 0 || received.size() < size) {
        if (!silent) {
            return state;
        }
        if (size != 0 || received.size() < kShortestRtuFrame) {
            state.progress = RtuProgress::Broken;
            state.size = received.size();
            state.frame.slave = received[0];
            state.frame.text = RtuFrameText(received);
            state.frame.fault = "the reply stopped after " + std::to_string(received.size()) +
                                " of " + std::to_string(size == 0 ? kShortestRtuFrame : size) +
                                " bytes";
            return state;
        }
        size = received.size();
    }
    const auto frame = received.first(size);
    state.size = size;
    state.frame.slave = frame[0];
    state.frame.pdu.assign(frame.begin() + 1, frame.end() - 2);
    state.frame.text = RtuFrameText(frame);
    FrameHead head;
    head.checksum = RtuChecksum(frame);
    head.checksum_expected = Crc16(frame.first(size - 2));
    if (auto fault = ChecksumFault(head)) {
        state.progress = RtuProgress::Broken;
        state.frame.fault = std::move(fault->message);
    } else {
        state.progress = RtuProgress::Complete;
    }
    return state;
}

std::string RtuFrameText(std::span<const std::uint8_t> frame) {
    return text::ascii::SpacedHex(frame);
}

// ---- Modbus TCP ----

std::vector<std::uint8_t> TcpFrame(std::uint16_t transaction, std::uint8_t unit,
                                   std::span<const std::uint8_t> pdu) {
    const std::size_t length = pdu.size() + 1;
    if (length < kShortestTcpLength || length > kLongestTcpLength) {
        return {};
    }
    std::vector<std::uint8_t> frame;
    frame.reserve(kMbapHeader + length);
    AppendWord(frame, transaction);
    AppendWord(frame, 0);
    AppendWord(frame, static_cast<std::uint16_t>(length));
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

void TcpFrameFinder::Add(std::span<const std::uint8_t> bytes) {
    if (lost_) {
        return;
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    const std::span<const std::uint8_t> stream(pending_);
    std::size_t at = 0;
    while (stream.size() - at >= kMbapHeader) {
        const auto header = stream.subspan(at, kMbapHeader);
        const std::uint16_t transaction = WordAt(header, 0);
        const std::uint16_t protocol = WordAt(header, 2);
        const std::uint16_t length = WordAt(header, 4);
        if (protocol != 0 || length < kShortestTcpLength || length > kLongestTcpLength) {
            WireFrame frame;
            frame.transaction = transaction;
            frame.text = "[tcp " + text::ascii::HexWord(transaction) + "] " + text::ascii::SpacedHex(header);
            frame.fault = protocol != 0 ? "protocol " + text::ascii::HexWord(protocol) +
                                              " in the header, where Modbus TCP has 0000"
                                        : "a length of " + std::to_string(length) +
                                              " in the header, where a frame has 2 to 254";
            found_.push_back(std::move(frame));
            lost_ = true;
            pending_.clear();
            return;
        }
        if (stream.size() - at < kMbapHeader + length) {
            break;
        }
        const auto unit_and_pdu = stream.subspan(at + kMbapHeader, length);
        WireFrame frame;
        frame.transaction = transaction;
        frame.slave = unit_and_pdu[0];
        frame.pdu.assign(unit_and_pdu.begin() + 1, unit_and_pdu.end());
        frame.text = TcpFrameText(transaction, frame.slave, frame.pdu);
        found_.push_back(std::move(frame));
        at += kMbapHeader + length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<WireFrame> TcpFrameFinder::Next() {
    if (next_ == found_.size()) {
        found_.clear();
        next_ = 0;
        return std::nullopt;
    }
    return std::move(found_[next_++]);
}

void TcpFrameFinder::Clear() {
    pending_.clear();
    found_.clear();
    next_ = 0;
    lost_ = false;
}

std::string TcpFrameText(std::uint16_t transaction, std::uint8_t unit,
                         std::span<const std::uint8_t> pdu) {
    return "[tcp " + text::ascii::HexWord(transaction) + "] " +
           FrameText(FrameMode::Rtu, SlaveAndPdu(unit, pdu));
}

}  // namespace conversion
