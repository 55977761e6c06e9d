#include "conversion/address_map.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "conversion/decimal_text.h"
#include "conversion/octal_digits.h"
#include "text/ascii_text.h"

namespace conversion {

namespace {

constexpr double kLargestHexValue = 2147483647.0;

using text::ascii::IsDigit;

// Rounds to the nearest whole number, an exact half to the even neighbour, whatever the
// floating-point environment's rounding mode is. Built on the exact fraction rather than on
// std::round, which some C libraries get wrong (MinGW-w64's rounds 0.49999999999999994 up to 1).
double RoundHalfToEven(double value) noexcept {
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);  // exact for every finite double
    const bool away = fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0);
    return away ? whole + std::copysign(1.0, value) : whole;
}

// The Modbus address text of a rule: its fixed zeros, then the value in hex. A value the hex
// writing cannot take gives an empty text, so the window clears the field instead of keeping an
// address that belongs to an earlier number.
std::string Address(std::string_view zeros, double value) {
    const auto hex = ToHexText(value);
    if (!hex) {
        return {};
    }
    std::string text;
    text.reserve(zeros.size() + hex->size());
    text.append(zeros).append(*hex);
    return text;
}

// The controller numbers X and Y in octal: the number is written back as its decimal digits and
// those digits are read in base eight. Negative numbers, fractions and infinities have no such
// digits.
std::optional<double> OctalValue(double number) {
    const auto digits = WholeDecimalText(number);
    if (!digits) {
        return std::nullopt;
    }
    const auto decimal = ConvertOctalToDecimal(*digits);
    if (!decimal) {
        return std::nullopt;
    }
    return ReadDeviceNumber(*decimal);
}

std::string OctalAddress(double base, double number) {
    const auto k = OctalValue(number);
    return k ? Address("0", base + *k) : std::string{};
}

}  // namespace

double ReadDeviceNumber(std::string_view text) noexcept {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) {
        return 0.0;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    const std::size_t start = i;
    bool seenPoint = false;
    bool seenDigit = false;
    bool large = false;  // a non-zero digit before the point: the number is at least 1
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            seenDigit = true;
            large = large || (!seenPoint && c != '0');
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit) {
        return 0.0;
    }
    double magnitude = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data() + start, text.data() + i, magnitude, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        magnitude = large ? HUGE_VAL : 0.0;
    } else if (ec != std::errc{}) {
        magnitude = 0.0;
    }
    return negative ? -magnitude : magnitude;
}

std::optional<std::string> ToHexText(double value) {
    if (!std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    const double whole = RoundHalfToEven(value);
    if (whole > kLargestHexValue) {
        return std::nullopt;
    }
    char buffer[8];
    const auto [end, ec] =
        std::to_chars(std::begin(buffer), std::end(buffer), static_cast<std::uint32_t>(whole), 16);
    std::string text(std::begin(buffer), end);
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::optional<std::string> ModbusAddressFor(DeviceKind kind, std::string_view text,
                                            PlcSeries series) {
    const double n = ReadDeviceNumber(text);
    switch (kind) {
        case DeviceKind::S:
            // The comparisons use the number as read, before the hex writing rounds it.
            return Address(n <= 15.0 ? "000" : n <= 255.0 ? "00" : "", n);
        case DeviceKind::X:
            return OctalAddress(1024.0, n);
        case DeviceKind::Y:
            return OctalAddress(1280.0, n);
        case DeviceKind::T:
            return Address("0", 1536.0 + n);
        case DeviceKind::M:
            return n <= 1535.0 ? Address("0", 2048.0 + n) : Address("", 43520.0 + n);
        case DeviceKind::C:
            return Address("0", 3584.0 + n);
        case DeviceKind::D:
            if (series != PlcSeries::SS) {
                return std::nullopt;
            }
            return Address("", 4096.0 + n);
    }
    return std::nullopt;
}

}  // namespace conversion
