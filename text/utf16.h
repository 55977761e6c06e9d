// Texts between UTF-8, which every library and program of the project works in, and UTF-16, which
// Windows' wide-character API takes and gives (command lines, file names, window texts). One pure
// conversion, the same on every system, so that it is tested natively and Windows programs do not
// each carry their own. Knows no Modbus and no controller.
//
// Text that is not what it claims to be: a part of UTF-8 that is not UTF-8 (the longest start of a
// sequence that no valid byte continues, at least one byte) and a surrogate with no partner each
// stand for one U+FFFD, the replacement Unicode recommends, so that the character after the fault
// is kept. The strict form, for names that must be taken as written, has no result for them.
#pragma once

#include <concepts>
#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "text/ascii_text.h"

namespace text {

// A UTF-16 code unit: char16_t, or wchar_t where it is 16 bits wide (Windows).
template <typename Unit>
concept Utf16Unit = (std::same_as<Unit, char16_t> || std::same_as<Unit, wchar_t>)&&sizeof(Unit) ==
                    2;

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// What the bytes at the start of a text are: a code point and the bytes it takes, or no code point
// (`valid` false) and the bytes one U+FFFD stands for.
struct Utf8Step {
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

// Reads the first code point of `utf8`, which is not empty. Refuses what is not UTF-8: a byte that
// starts no sequence, a sequence cut short, an overlong form, a surrogate's code point and any code
// point above U+10FFFF; the invalid part ends before the first byte that cannot continue it, so a
// valid character after it is never swallowed. Never reads past `utf8`.
constexpr Utf8Step FirstCodePoint(std::string_view utf8) noexcept {
    const auto lead = static_cast<unsigned char>(utf8.front());
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    // The second byte's range is narrower after some leads: that is where overlong forms,
    // surrogates and code points above U+10FFFF would start.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return {0, 1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i == utf8.size()) {
            return {0, i, false};
        }
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < low || byte > high) {
            return {0, i, false};
        }
        codePoint = (codePoint << 6) | (byte & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return {codePoint, length, true};
}

// Appends `codePoint`, at most U+10FFFF and no surrogate's, as one or two UTF-16 units.
template <Utf16Unit Unit>
void AppendUtf16(std::basic_string<Unit>& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out += static_cast<Unit>(codePoint);
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out += static_cast<Unit>(0xD800 + (offset >> 10));
    out += static_cast<Unit>(0xDC00 + (offset & 0x3FF));
}

// UTF-16 of `utf8`, or no value when it is not all UTF-8 (as FirstCodePoint reads it). For names
// that must be taken as written: a file name read with a replacement character in it could open
// some other file. An empty text gives an empty result, not no value.
template <Utf16Unit Unit = char16_t>
std::optional<std::basic_string<Unit>> StrictUtf16FromUtf8(std::string_view utf8) {
    std::basic_string<Unit> utf16;
    utf16.reserve(utf8.size());
    while (!utf8.empty()) {
        const Utf8Step step = FirstCodePoint(utf8);
        if (!step.valid) {
            return std::nullopt;
        }
        AppendUtf16(utf16, step.codePoint);
        utf8.remove_prefix(step.length);
    }
    return utf16;
}

// UTF-16 of `utf8`, each part that is not UTF-8 read as one U+FFFD. For texts that are shown: the
// rest of the text is worth more than a refusal.
template <Utf16Unit Unit = char16_t>
std::basic_string<Unit> Utf16FromUtf8(std::string_view utf8) {
    std::basic_string<Unit> utf16;
    utf16.reserve(utf8.size());
    while (!utf8.empty()) {
        const Utf8Step step = FirstCodePoint(utf8);
        AppendUtf16(utf16, step.valid ? step.codePoint : kReplacementCharacter);
        utf8.remove_prefix(step.length);
    }
    return utf16;
}

// Appends `codePoint`, at most U+10FFFF and no surrogate's, as one to four UTF-8 bytes.
inline void AppendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

// UTF-8 of `utf16`. A surrogate with no partner, which has no UTF-8 form (Windows lets one into a
// command line or an edit control), becomes U+FFFD; everything else is kept.
template <Utf16Unit Unit>
std::string Utf8FromUtf16(std::basic_string_view<Unit> utf16) {
    std::string utf8;
    utf8.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const auto unit = static_cast<char32_t>(utf16[i]);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < utf16.size()) {
            const auto next = static_cast<char32_t>(utf16[i + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(utf8, high || low ? kReplacementCharacter : unit);
    }
    return utf8;
}

inline std::string Utf8FromUtf16(std::u16string_view utf16) {
    return Utf8FromUtf16<char16_t>(utf16);
}

#if WCHAR_MAX == 0xFFFF
inline std::string Utf8FromUtf16(std::wstring_view utf16) {
    return Utf8FromUtf16<wchar_t>(utf16);
}
#endif

// A name as a message shows it: printable ASCII and every valid UTF-8 character from U+00A0 on
// kept as written (a tag list's "Température"), other bytes as DisplayText shows them; at most
// `longest` bytes of it followed by "..." when it is longer.
inline std::string DisplayUtf8(std::string_view text, std::size_t longest = 40) {
    std::string shown;
    std::string_view rest = text.substr(0, longest);
    while (!rest.empty()) {
        const Utf8Step step = FirstCodePoint(rest);
        if (step.valid && step.codePoint >= 0xA0) {
            shown.append(rest.substr(0, step.length));
        } else {
            for (const char c : rest.substr(0, step.length)) {
                ascii::AppendEscaped(shown, c);
            }
        }
        rest.remove_prefix(step.length);
    }
    if (text.size() > longest) {
        shown += "...";
    }
    return shown;
}

}  // namespace text
