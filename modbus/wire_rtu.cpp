// Modbus RTU on the wire: bytes and the CRC, a frame ended by its size or by the line's silence.
#include <algorithm>

#include "modbus/checksums.h"
#include "modbus/frame_text.h"
#include "modbus/function_codes.h"
#include "modbus/pdu.h"
#include "modbus/wire.h"
#include "text/ascii_text.h"

namespace modbus {

namespace {

// The slave address before an RTU PDU and the CRC after it.
constexpr std::size_t kRtuOverhead = 3;
constexpr std::size_t kExceptionPdu = 2;
// Slave, function and CRC.
constexpr std::size_t kShortestRtuFrame = 4;
constexpr std::uint32_t kFastestTimedBaud = 19200;
constexpr std::uint32_t kFastLineSilence = 1750;

std::uint16_t RtuChecksum(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[frame.size() - 2] | frame[frame.size() - 1] << 8);
}

}  // namespace

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
            state.frame.cut = true;
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

void RtuFrameFinder::Expect(std::span<const std::uint8_t> request_pdu) {
    request_.assign(request_pdu.begin(), request_pdu.end());
}

void RtuFrameFinder::Add(std::span<const std::uint8_t> bytes) {
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    Take(false);
}

void RtuFrameFinder::Silence() {
    if (ends_at_silence()) {
        Take(true);
    }
}

bool RtuFrameFinder::SizeKnown() const noexcept {
    return (received_.size() >= 2 && IsExceptionFunction(received_[1])) ||
           ReplyPduSize(request_) != 0;
}

void RtuFrameFinder::Take(bool silent) {
    while (!received_.empty()) {
        auto state = ReadRtuReply(received_, request_, silent);
        if (state.progress == RtuProgress::NeedMore) {
            return;
        }
        const auto taken = static_cast<std::ptrdiff_t>(std::min(state.size, received_.size()));
        received_.erase(received_.begin(), received_.begin() + taken);
        Found(std::move(state.frame));
    }
}

void RtuFrameFinder::Clear() {
    FrameFinder::Clear();
    received_.clear();
}

}  // namespace modbus
