#include "scan/typed_values.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "text/ascii_text.h"

namespace scan {

namespace {

// A whole number in decimal (a sign allowed when `sign`) or in hex after 0x, of at most
// `hex_digits` digits. None when the text is neither or past 64 bits.
struct WholeNumber {
    std::int64_t value = 0;
    bool hex = false;
};

std::optional<WholeNumber> ReadWhole(std::string_view text, std::size_t hex_digits) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        std::uint64_t value = 0;
        if (digits.size() > hex_digits) {
            return std::nullopt;
        }
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (error != std::errc() || end != digits.data() + digits.size()) {
            return std::nullopt;
        }
        return WholeNumber{static_cast<std::int64_t>(value), true};
    }
    std::int64_t value = 0;
    const char* first = text.data();
    if (!text.empty() && text[0] == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || first == end) {
        return std::nullopt;
    }
    return WholeNumber{value, false};
}

std::optional<std::uint32_t> ReadDoubleWord(conversion::ValueType type, std::string_view text) {
    if (type == conversion::ValueType::F32) {
        float value = 0;
        const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
        const auto [end, error] =
            std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
        if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return std::bit_cast<std::uint32_t>(value);
    }
    const auto whole = ReadWhole(text, 8);
    if (!whole) {
        return std::nullopt;
    }
    const std::int64_t lowest = type == conversion::ValueType::I32 && !whole->hex ? INT32_MIN : 0;
    const std::int64_t highest =
        type == conversion::ValueType::I32 && !whole->hex ? INT32_MAX : UINT32_MAX;
    if (whole->value < lowest || whole->value > highest) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(whole->value);
}

std::string_view TakesText(conversion::ValueType type) noexcept {
    switch (type) {
        case conversion::ValueType::I16:
            return "takes -32768 to 32767, or 0x0000 to 0xFFFF";
        case conversion::ValueType::U16:
            return "takes 0 to 65535, or 0x0000 to 0xFFFF";
        case conversion::ValueType::I32:
            return "takes -2147483648 to 2147483647, or 0x00000000 to 0xFFFFFFFF";
        case conversion::ValueType::U32:
            return "takes 0 to 4294967295, or 0x00000000 to 0xFFFFFFFF";
        case conversion::ValueType::F32:
            return "takes a finite number such as 21.5, -0.25 or 1e-3";
        case conversion::ValueType::Bool:
            break;
    }
    return "takes 1, 0, on or off";
}

// A 16-bit value within its type's range, as conversion::ReadAssignment reads it afterwards.
bool FitsWord(conversion::ValueType type, std::string_view text) {
    if (type == conversion::ValueType::Bool) {
        return true;  // conversion::ReadAssignment reads 1, 0, on and off
    }
    const auto whole = ReadWhole(text, 4);
    if (!whole) {
        return false;
    }
    if (whole->hex) {
        return true;
    }
    return type == conversion::ValueType::I16
               ? whole->value >= INT16_MIN && whole->value <= INT16_MAX
               : whole->value >= 0 && whole->value <= UINT16_MAX;
}

}  // namespace

std::string TypedValueText(conversion::ValueType type, std::uint16_t low, std::uint16_t high) {
    switch (type) {
        case conversion::ValueType::Bool:
            return low != 0 ? "1" : "0";
        case conversion::ValueType::I16:
            return std::to_string(static_cast<std::int16_t>(low));
        case conversion::ValueType::U16:
            return std::to_string(low);
        case conversion::ValueType::I32:
            return std::to_string(static_cast<std::int32_t>(DoubleWord(low, high)));
        case conversion::ValueType::U32:
            return std::to_string(DoubleWord(low, high));
        case conversion::ValueType::F32:
            break;
    }
    const auto value = std::bit_cast<float>(DoubleWord(low, high));
    if (std::isnan(value)) {
        return "nan";
    }
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

text::Result<std::vector<conversion::Assignment>> ReadTypedAssignment(
    std::string_view text, std::optional<conversion::ModbusTable> table,
    conversion::BareNumbers numbers) {
    const std::string_view whole = text::ascii::Trimmed(text);
    const std::size_t equals = whole.find('=');
    const std::string_view target =
        equals == std::string_view::npos ? whole : text::ascii::Trimmed(whole.substr(0, equals));
    const conversion::TypedText split = conversion::SplitTypedItem(target);
    const std::string_view item = split.item;
    const auto type = split.type;
    if (!type || equals == std::string_view::npos) {
        auto assignment = conversion::ReadAssignment(whole, table, numbers);
        if (auto* failure = std::get_if<text::Failure>(&assignment)) {
            return std::move(*failure);
        }
        return std::vector<conversion::Assignment>{std::get<conversion::Assignment>(assignment)};
    }
    const std::string_view value_text = text::ascii::Trimmed(whole.substr(equals + 1));
    const auto refused = [&](std::string_view why) {
        return text::Failure{text::ascii::Joined({conversion::DisplayText(whole), ": ", why})};
    };
    const conversion::TypedItem typed = conversion::ReadTypedItem(target, table, numbers);
    if (!typed.ok()) {
        return text::Failure{typed.message};
    }
    if (typed.values.size() != 1) {
        return refused("name one device to write, not a range");
    }
    const conversion::TypedValue& value = typed.values.front();
    const conversion::ModbusTable written = value.entry.table;
    const std::string device(item);
    if (!conversion::IsDoubleWord(*type)) {
        if (!FitsWord(*type, value_text)) {
            return refused(std::string(conversion::TypeName(*type)) + " " +
                           std::string(TakesText(*type)));
        }
        // The device's own checks (inputs, counters, bare numbers), on the table the type reads.
        auto assignment =
            conversion::ReadAssignment(device + "=" + std::string(value_text), written, numbers);
        if (auto* failure = std::get_if<text::Failure>(&assignment)) {
            return std::move(*failure);
        }
        return std::vector<conversion::Assignment>{std::get<conversion::Assignment>(assignment)};
    }
    const auto words = ReadDoubleWord(*type, value_text);
    if (!words) {
        return refused(std::string(conversion::TypeName(*type)) + " " +
                       std::string(TakesText(*type)));
    }
    auto low = conversion::ReadAssignment(device + "=0", written, numbers);
    if (auto* failure = std::get_if<text::Failure>(&low)) {
        return std::move(*failure);
    }
    std::vector<conversion::Assignment> assignments{std::get<conversion::Assignment>(low)};
    assignments.front().value = static_cast<std::uint16_t>(*words & 0xFFFF);
    assignments.push_back({*value.high, static_cast<std::uint16_t>(*words >> 16)});
    return assignments;
}

}  // namespace scan
