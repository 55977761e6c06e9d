#include "conversion/decimal_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace conversion {

std::optional<std::string> WholeDecimalText(double value) {
    if (!std::isfinite(value) || value < 0.0 || std::trunc(value) != value) {
        return std::nullopt;
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
