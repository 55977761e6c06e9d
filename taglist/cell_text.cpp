#include "taglist/cell_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "text/ascii_text.h"

namespace taglist {

namespace {

constexpr std::size_t kMaxNumberDigits = 15;  // more would not survive a double
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence that starts `text` and the code point it encodes; 0 when the
// bytes there are no UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, char32_t& code_point) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    char32_t value = lead & (0xFFU >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0U) != 0x80) {
            return 0;
        }
        value = (value << 6U) | (byte(i) & 0x3FU);
    }
    code_point = value;
    return length;
}

using text::ascii::IsHexDigit;

// Spreadsheets read "_x0041_" in a cell's text as the character it names.
bool StartsCharacterEscape(std::string_view text) noexcept {
    return text.size() >= 7 && text[0] == '_' && (text[1] == 'x' || text[1] == 'X') &&
           std::all_of(text.begin() + 2, text.begin() + 6, IsHexDigit) && text[6] == '_';
}

}  // namespace

CellText MakeCellText(std::string_view text, std::string& out) {
    CellText made;
    // Most cells are short printable ASCII, which needs none of the work below.
    if (text.size() <= kMaxCellUnits && std::all_of(text.begin(), text.end(), [](char c) {
            return c >= ' ' && c <= '~' && c != '_';
        })) {
        out.assign(text);
        made.width = text.size();
        return made;
    }
    out.clear();
    std::size_t units = 0;
    std::size_t line = 0;
    while (!text.empty()) {
        char32_t code_point = 0;
        std::size_t length = DecodeUtf8(text, code_point);
        std::string_view piece = text.substr(0, length);
        if (length == 0 || code_point == 0 || code_point == 0xFFFE || code_point == 0xFFFF) {
            length = std::max<std::size_t>(length, 1);
            piece = kReplacement;
        } else if (StartsCharacterEscape(text)) {
            piece = "_x005F_";
        }
        // Characters beyond the Basic Multilingual Plane count twice.
        const std::size_t piece_units = piece.size() == 7 ? 7 : (piece.size() == 4 ? 2 : 1);
        if (units + piece_units > kMaxCellUnits) {
            made.cut = true;
            break;
        }
        units += piece_units;
        out += piece;
        text.remove_prefix(length);
        line = code_point == '\n' ? 0 : line + 1;
        made.width = std::max(made.width, line);
    }
    return made;
}

std::optional<double> CellNumber(std::string_view text) noexcept {
    if (text.empty() || text.size() > kMaxNumberDigits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<double>(value);
}

}  // namespace taglist
