// Small text helpers of every library and program: character classes, hex digits, and the one way
// a byte that is not printable ASCII is shown in a message or a table. Knows no Modbus and no
// controller. Internal: not installed, and included by no public header. Everything is locale-free
// and works on bytes, never on characters of a wider encoding.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace text::ascii {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

constexpr bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// An ASCII letter or digit: what a name may hold in every engine's config without quoting.
constexpr bool IsAlnum(char c) noexcept {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsPrintable(char c) noexcept {
    return c >= 0x20 && c < 0x7F;
}

constexpr char Upper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// `text` without the spaces and tabs around it.
constexpr std::string_view Trimmed(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether two texts are the same but for the case of ASCII letters.
constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

// The value of each byte as a hex digit of either case, -1 for any other: frames are read one
// lookup per digit.
inline constexpr auto kHexValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 16; ++i) {
        values[static_cast<unsigned char>(kHexDigits[i])] = static_cast<std::int8_t>(i);
        values[static_cast<unsigned char>(kHexDigits[i] | 0x20)] = static_cast<std::int8_t>(i);
    }
    return values;
}();

// The value of a hex digit of either case; -1 for any other character.
constexpr int HexValue(char c) noexcept {
    return kHexValues[static_cast<unsigned char>(c)];
}

constexpr bool IsHexDigit(char c) noexcept {
    return HexValue(c) >= 0;
}

inline void AppendHexByte(std::string& out, std::uint8_t byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

// Two upper-case hex digits: "0A".
inline std::string HexByte(std::uint8_t byte) {
    std::string out;
    AppendHexByte(out, byte);
    return out;
}

// Four upper-case hex digits: "0FA0".
inline std::string HexWord(std::uint16_t word) {
    std::string out;
    AppendHexByte(out, static_cast<std::uint8_t>(word >> 8));
    AppendHexByte(out, static_cast<std::uint8_t>(word));
    return out;
}

// Bytes as a serial monitor shows them: "00 01 86 A0".
inline std::string SpacedHex(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        if (!out.empty()) {
            out += ' ';
        }
        AppendHexByte(out, byte);
    }
    return out;
}

// A byte as a message shows it: printable ASCII as itself, any other byte as \xNN, so that a
// message never carries a control character or a broken UTF-8 sequence to a terminal.
inline void AppendEscaped(std::string& out, char c) {
    if (IsPrintable(c)) {
        out += c;
    } else {
        out += "\\x";
        AppendHexByte(out, static_cast<std::uint8_t>(c));
    }
}

// The parts one after the other. Messages are built by appending, which also keeps GCC 12's
// optimiser from taking `"text" + string` for an overlapping copy.
inline std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

// Adds a clause to notes kept in one text, "; " between clauses.
inline void AppendNote(std::string& notes, std::string_view note) {
    if (note.empty()) {
        return;
    }
    if (!notes.empty()) {
        notes += "; ";
    }
    notes += note;
}

}  // namespace text::ascii

namespace text {

// The text as a message or a table shows it: printable ASCII kept, other bytes as \xNN, at most
// `longest` characters of it followed by "..." when it is longer.
inline std::string DisplayText(std::string_view text, std::size_t longest = 40) {
    std::string shown;
    for (const char c : text.substr(0, longest)) {
        ascii::AppendEscaped(shown, c);
    }
    if (text.size() > longest) {
        shown += "...";
    }
    return shown;
}

}  // namespace text
