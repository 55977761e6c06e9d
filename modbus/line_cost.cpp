#include "modbus/line_cost.h"

#include <algorithm>

#include "modbus/function_shapes.h"
#include "modbus/wire.h"

namespace modbus {

namespace {

// Slave address, function code, start address and quantity.
constexpr std::uint32_t kReadRequestBytes = 6;
// Slave address, function code and byte count before the data.
constexpr std::uint32_t kReadReplyHeadBytes = 3;

std::uint32_t ReplyDataBytes(const ReadRequest& request) noexcept {
    const FunctionShape* shape = ShapeOf(request.function);
    return shape == nullptr ? 0 : static_cast<std::uint32_t>(ItemBytes(*shape, request.quantity));
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
    const std::uint64_t characters =
        FrameCharacters(mode, kReadRequestBytes) +
        FrameCharacters(mode, kReadReplyHeadBytes + ReplyDataBytes(request));
    constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;
    const std::uint64_t baud = std::max(cost.baud, 1u);
    const std::uint64_t line =
        (characters * cost.character_bits * kNanosecondsPerSecond + baud / 2) / baud;
    std::chrono::nanoseconds time = delay + std::chrono::nanoseconds(line);
    if (mode == FrameMode::Rtu) {  // the silence after the request and after the reply
        time +=
            2 * std::chrono::microseconds(RtuSilenceMicroseconds(cost.baud, cost.character_bits));
    }
    return time;
}

}  // namespace modbus
