// Property fuzzer for the conversion library.
//
// Input layout: byte 0 picks the device kind, byte 1 the controller series, the remaining bytes are
// the typed text (any bytes, as the windows hand over UTF-8). Each call checks every public
// function against a reference computed here by other means (the C library's strtod in the "C"
// locale, integer and long double arithmetic, printf's hex and decimal writing) and aborts with a
// message on the first disagreement, so a wrong address counts as a finding just like a crash.

#include <locale.h>
#include <cerrno>
#include <cfenv>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/address_map.h"
#include "conversion/octal_digits.h"

namespace {

using conversion::DeviceKind;
using conversion::PlcSeries;

locale_t c_locale = nullptr;

constexpr PlcSeries kSeries[] = {PlcSeries::SS, PlcSeries::SC, PlcSeries::SV};
constexpr const char* kSeriesNames[] = {"SS", "SC", "SV"};

std::string Escaped(std::string_view text) {
    constexpr std::size_t kShown = 200;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    out += "\"";
    if (text.size() > kShown) {
        out += " ... (" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

std::string Shown(const std::optional<std::string>& result) {
    return result ? Escaped(*result) : std::string("nothing");
}

[[noreturn]] void Violation(const char* property, std::string_view text,
                            const std::string& expected, const std::string& got) {
    std::fprintf(stderr,
                 "\nPROPERTY VIOLATED: %s\n  input:    %s\n  expected: %s\n  got:      %s\n",
                 property, Escaped(text).c_str(), expected.c_str(), got.c_str());
    std::abort();
}

std::string DoubleText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// --- Reading a device number ------------------------------------------------------------------

// Collects the characters the project accepts as the number (blanks and tabs skipped, one sign
// directly before the digits, digits with one point) and lets strtod in the "C" locale read them.
double ReferenceRead(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    std::string accepted;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        accepted += text[i++];
    }
    bool point = false;
    bool digit = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            digit = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        accepted += text[i];
    }
    if (!digit) {
        return 0.0;
    }
    return strtod_l(accepted.c_str(), nullptr, c_locale);
}

void CheckRead(std::string_view text) {
    const double expected = ReferenceRead(text);
    const double got = conversion::ReadDeviceNumber(text);
    if (!(got == expected) || std::signbit(got) != std::signbit(expected)) {
        Violation("ReadDeviceNumber reads the number at the start of the text", text,
                  DoubleText(expected), DoubleText(got));
    }
}

// --- Writing hex text ---------------------------------------------------------------------------

// The whole number a value is written as in hex: round to nearest with ties to even (the default
// floating-point environment, checked at start-up), and only for 0 to 2147483647.
std::optional<std::uint32_t> ReferenceHexValue(double value) {
    if (!std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    const double whole = std::nearbyint(value);
    if (whole > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(whole);
}

std::string HexOf(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", value);
    return buffer;
}

void CheckHex(double value, std::string_view text) {
    const auto whole = ReferenceHexValue(value);
    const auto expected = whole ? std::optional<std::string>(HexOf(*whole)) : std::nullopt;
    const auto got = conversion::ToHexText(value);
    if (got != expected) {
        Violation(("ToHexText of " + DoubleText(value)).c_str(), text, Shown(expected), Shown(got));
    }
}

// --- Octal digit reading ------------------------------------------------------------------------

// For an all-digit text: the exact base-eight value while it fits 64 bits (up to 21 digits), and
// an 80-bit long double estimate, which has room for any length the fuzzer makes.
void CheckOctal(std::string_view text) {
    const auto got = conversion::ConvertOctalToDecimal(text);
    for (const char c : text) {
        if (!IsDigit(c)) {
            if (got) {
                Violation("ConvertOctalToDecimal gives nothing for a non-digit", text, "nothing",
                          Shown(got));
            }
            return;
        }
    }
    long double estimate = 0.0L;
    std::uint64_t exact = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int digit = text[text.size() - 1 - i] - '0';
        estimate += std::ldexp(static_cast<long double>(digit), static_cast<int>(3 * i));
        if (i < 21) {
            exact += static_cast<std::uint64_t>(digit) << (3 * i);
        }
    }
    const long double largest = static_cast<long double>(DBL_MAX);
    if (estimate > largest * (1.0L + 1e-9L)) {
        if (got) {
            Violation("ConvertOctalToDecimal gives nothing above the largest double", text,
                      "nothing", Shown(got));
        }
        return;
    }
    if (estimate >= largest * (1.0L - 1e-9L)) {
        return;  // the double sum may round either way this close to the limit
    }
    if (!got) {
        Violation("ConvertOctalToDecimal gives a value for a digit text", text, "a value",
                  "nothing");
    }
    const std::string& digits = *got;
    bool plain = !digits.empty() && (digits.size() == 1 || digits[0] != '0');
    for (const char c : digits) {
        plain = plain && IsDigit(c);
    }
    if (!plain) {
        Violation("ConvertOctalToDecimal writes plain decimal digits", text, "digits", Shown(got));
    }
    // 17 digits of at most 9 stay below 2^53, so their double sum is exact.
    if (text.size() <= 17) {
        if (digits != std::to_string(exact)) {
            Violation("ConvertOctalToDecimal equals the base-eight sum", text,
                      std::to_string(exact), Shown(got));
        }
        return;
    }
    const long double value = strtold_l(digits.c_str(), nullptr, c_locale);
    const long double tolerance = estimate * static_cast<long double>(text.size() + 1) *
                                  static_cast<long double>(DBL_EPSILON);
    if (std::fabs(value - estimate) > tolerance) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.21Lg", estimate);
        Violation("ConvertOctalToDecimal is within rounding of the base-eight sum", text, buffer,
                  Shown(got));
    }
}

// --- Device address rules -----------------------------------------------------------------------

// The octal reading of a whole, non-negative number, from its printf digits; nothing when those
// digits are too many for 64 bits (then the address is far beyond 32 bits anyway).
std::optional<std::uint64_t> ReferenceOctal(double n) {
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", std::fabs(n));  // a typed "-0" is the number 0
    const std::size_t length = std::strlen(digits);
    if (length > 21) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value = value * 8 + static_cast<std::uint64_t>(digits[i] - '0');
    }
    return value;
}

std::string AddressText(const char* zeros, std::optional<std::uint32_t> value) {
    return value ? zeros + HexOf(*value) : std::string{};
}

std::optional<std::string> ReferenceAddress(DeviceKind kind, std::string_view text,
                                            PlcSeries series) {
    const double n = ReferenceRead(text);
    switch (kind) {
        case DeviceKind::S:
            return AddressText(n <= 15.0 ? "000" : n <= 255.0 ? "00" : "", ReferenceHexValue(n));
        case DeviceKind::X:
        case DeviceKind::Y: {
            if (!std::isfinite(n) || n < 0.0 || std::floor(n) != n) {
                return std::string{};
            }
            const auto k = ReferenceOctal(n);
            const std::uint64_t base = kind == DeviceKind::X ? 1024 : 1280;
            if (!k || *k > 2147483647 - base) {
                return std::string{};
            }
            return AddressText("0", static_cast<std::uint32_t>(base + *k));
        }
        case DeviceKind::T:
            return AddressText("0", ReferenceHexValue(1536.0 + n));
        case DeviceKind::M:
            return n <= 1535.0 ? AddressText("0", ReferenceHexValue(2048.0 + n))
                               : AddressText("", ReferenceHexValue(43520.0 + n));
        case DeviceKind::C:
            return AddressText("0", ReferenceHexValue(3584.0 + n));
        case DeviceKind::D:
            if (series != PlcSeries::SS) {
                return std::nullopt;
            }
            return AddressText("", ReferenceHexValue(4096.0 + n));
    }
    return std::nullopt;
}

void CheckAddress(DeviceKind kind, std::size_t series, std::string_view text) {
    const auto expected = ReferenceAddress(kind, text, kSeries[series]);
    const auto got = conversion::ModbusAddressFor(kind, text, kSeries[series]);
    if (got != expected) {
        const std::string property = std::string("ModbusAddressFor, kind ") +
                                     conversion::DeviceLetter(kind) + ", series " +
                                     kSeriesNames[series];
        Violation(property.c_str(), text, Shown(expected), Shown(got));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    // Run the library under a locale whose decimal separator is a comma, where one is installed,
    // so that any locale-dependent reading shows up as a disagreement with the reference.
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            break;
        }
    }
    if (c_locale == nullptr || std::fegetround() != FE_TONEAREST) {
        std::fprintf(stderr, "fuzzer set-up failed: no C locale or unexpected rounding mode\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const DeviceKind kind = conversion::kDeviceKinds[data[0] % conversion::kDeviceKinds.size()];
    const std::size_t series = data[1] % std::size(kSeries);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    CheckRead(text);
    CheckAddress(kind, series, text);
    CheckOctal(text);
    std::string digits;
    for (const char c : text) {
        if (IsDigit(c)) {
            digits += c;
        }
    }
    CheckOctal(digits);

    CheckHex(conversion::ReadDeviceNumber(text), text);
    if (text.size() >= sizeof(double)) {
        double raw = 0.0;
        std::memcpy(&raw, text.data(), sizeof raw);
        CheckHex(raw, text);
    }
    return 0;
}
