#include "modbus/line_cost.h"

#include <algorithm>

namespace modbus {

namespace {

// Slave address, function code, start address and quantity.
constexpr std::uint32_t kReadRequestBytes = 6;
// Slave address, function code and byte count before the data.
constexpr std::uint32_t kReadReplyHeadBytes = 3;
// An RTU frame ends after 3.5 characters of silence: 7 half characters.
constexpr std::uint32_t kRtuSilenceHalfCharacters = 7;

std::uint32_t ReplyDataBytes(const ReadRequest& request) noexcept {
    return ReachesBits(request.function) ? (request.quantity + 7u) / 8u : 2u * request.quantity;
}

}  // namespace

std::uint32_t FrameCharacters(FrameMode mode, std::uint32_t bytes) noexcept {
    constexpr std::uint32_t kCrcBytes = 2;
    // ':' before, the LRC's two hex digits and CR LF after.
    constexpr std::uint32_t kAsciiFrameCharacters = 1 + 2 + 2;
    return mode == FrameMode::Rtu ? bytes + kCrcBytes : 2 * bytes + kAsciiFrameCharacters;
}

std::chrono::nanoseconds ReadTime(const LineCost& cost, const ReadRequest& request) noexcept {
    const std::chrono::nanoseconds delay = cost.reply_delay;
    if (!cost.mode) {
        return delay;
    }
    const FrameMode mode = *cost.mode;
    std::uint64_t half_characters =
        2u * (FrameCharacters(mode, kReadRequestBytes) +
              FrameCharacters(mode, kReadReplyHeadBytes + ReplyDataBytes(request)));
    if (mode == FrameMode::Rtu) {
        half_characters += 2u * kRtuSilenceHalfCharacters;
    }
    constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;
    const std::uint64_t half_bauds = 2u * std::max(cost.baud, 1u);
    const std::uint64_t line =
        (half_characters * cost.character_bits * kNanosecondsPerSecond + half_bauds / 2) /
        half_bauds;
    return delay + std::chrono::nanoseconds(static_cast<std::int64_t>(line));
}

}  // namespace modbus
