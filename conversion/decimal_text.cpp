#include "conversion/decimal_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace conversion {

std::optional<std::string> WholeDecimalText(double value) {
    if (!std::isfinite(value) || value < 0.0 || std::trunc(value) != value) {
        return std::nullopt;
    }
    // Every device number a person types is far below 2^63; integer formatting is several times
    // quicker than formatting a double, and exact for these values.
    if (value < 9223372036854775808.0) {
        std::array<char, 20> digits{};
        const auto [last, error] = std::to_chars(digits.data(), digits.data() + digits.size(),
                                                 static_cast<std::uint64_t>(value));
        return std::string(digits.data(), last);
    }
    // The largest double has 309 integer digits; fixed notation of a whole value prints them
    // exactly.
    std::array<char, 320> buffer{};
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0,  // -0 becomes 0
                      std::chars_format::fixed);
    if (ec != std::errc{}) {
        return std::nullopt;
    }
    return std::string(buffer.data(), end);
}

}  // namespace conversion
