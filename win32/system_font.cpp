#include "win32/system_font.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "text/utf16.h"
#include "window/font_fitting.h"

namespace win32 {

namespace {

// The text as drawn: an access-key marker ("&P") is not shown, a doubled one ("&&") shows once.
std::wstring ShownText(std::string_view text) {
    std::wstring shown;
    const std::wstring wide = text::Utf16FromUtf8<wchar_t>(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'&' && i + 1 < wide.size()) {
            ++i;
        }
        shown.push_back(wide[i]);
    }
    return shown;
}

int Scaled(int pixelsAt96, int dpi) {
    return MulDiv(pixelsAt96, dpi, USER_DEFAULT_SCREEN_DPI);
}

// Where a control draws its text, in its own pixels: a label from its top-left corner, an option
// beside its indicator and centred from top to bottom, a button centred inside its bevel.
struct TextRoom {
    RECT rect;
    bool centredAcross;
    bool centredDown;
};

TextRoom RoomFor(const window::FixedText& text, int dpi, const TEXTMETRICW& metrics) {
    const RECT box{0, 0, Scaled(text.width, dpi), Scaled(text.height, dpi)};
    switch (text.kind) {
        case window::FixedText::Kind::Label:
            return {box, false, false};
        case window::FixedText::Kind::Option: {
            // The round indicator, then a gap of half a character before the text.
            const int indicator = GetSystemMetricsForDpi(SM_CXMENUCHECK, static_cast<UINT>(dpi));
            return {
                {indicator + metrics.tmAveCharWidth / 2, 0, box.right, box.bottom}, false, true};
        }
        case window::FixedText::Kind::Button: {
            const int bevel = Scaled(3, dpi);
            return {{bevel, bevel, box.right - bevel, box.bottom - bevel}, true, true};
        }
    }
    return {box, false, false};
}

// The ink of `shown` drawn from (0, 0) with the line's top there, or nothing when the font has no
// outlines to measure.
bool InkOf(HDC dc, const std::wstring& shown, const TEXTMETRICW& metrics, RECT& ink) {
    constexpr MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ink = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    long pen = 0;
    for (const wchar_t c : shown) {
        GLYPHMETRICS glyph{};
        if (GetGlyphOutlineW(dc, c, GGO_METRICS, &glyph, 0, nullptr, &kIdentity) == GDI_ERROR) {
            return false;
        }
        if (glyph.gmBlackBoxX > 0 && c != L' ') {
            const long left = pen + glyph.gmptGlyphOrigin.x;
            const long top = metrics.tmAscent - glyph.gmptGlyphOrigin.y;
            ink.left = std::min(ink.left, left);
            ink.top = std::min(ink.top, top);
            ink.right = std::max(ink.right, left + static_cast<long>(glyph.gmBlackBoxX));
            ink.bottom = std::max(ink.bottom, top + static_cast<long>(glyph.gmBlackBoxY));
        }
        pen += glyph.gmCellIncX;
    }
    return true;
}

}  // namespace

bool TextFits(HDC dc, const window::FixedText& text, int dpi) {
    const std::wstring shown = ShownText(text.text);
    if (shown.empty()) {
        return true;
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE advance{};
    GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &advance);
    RECT ink{};
    if (!InkOf(dc, shown, metrics, ink)) {
        ink = {0, 0, advance.cx, metrics.tmHeight};  // a bitmap font: its cells are its ink
    }
    if (ink.left > ink.right) {
        return true;  // blanks only
    }
    const TextRoom room = RoomFor(text, dpi, metrics);
    const long across = room.centredAcross
                            ? room.rect.left + (room.rect.right - room.rect.left - advance.cx) / 2
                            : room.rect.left;
    const long down =
        room.centredDown ? room.rect.top + (room.rect.bottom - room.rect.top - metrics.tmHeight) / 2
                         : room.rect.top;
    // A glyph that leans a pixel left of where its text starts ("T") does so at every size; the
    // size only decides where the text ends.
    const long left = room.centredAcross ? across + ink.left : room.rect.left;
    return left >= room.rect.left && across + ink.right <= room.rect.right &&
           down + ink.top >= room.rect.top && down + ink.bottom <= room.rect.bottom;
}

InterfaceFonts::~InterfaceFonts() {
    for (const auto& [dpi, font] : fonts_) {
        DeleteObject(font);
    }
}

HFONT InterfaceFonts::For(int dpi) {
    if (const auto found = fonts_.find(dpi); found != fonts_.end()) {
        return found->second;
    }
    NONCLIENTMETRICSW system{};
    system.cbSize = sizeof(system);
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(system), &system, 0,
                               static_cast<UINT>(dpi));
    LOGFONTW face = system.lfMessageFont;
    const double systemPoints = std::abs(face.lfHeight) * 72.0 / dpi;

    HDC dc = CreateCompatibleDC(nullptr);
    HFONT tried = nullptr;
    const auto fits = [&](double points) {
        if (tried != nullptr) {
            DeleteObject(tried);
        }
        face.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
        tried = CreateFontIndirectW(&face);
        HGDIOBJ previous = SelectObject(dc, tried);
        const bool all = std::all_of(texts_.begin(), texts_.end(), [&](const window::FixedText& t) {
            return TextFits(dc, t, dpi);
        });
        SelectObject(dc, previous);
        return all;
    };
    // The last size tried is the one FittingPointSize gives, so `tried` is its font.
    window::FittingPointSize(systemPoints, fits);
    DeleteDC(dc);
    fonts_.emplace(dpi, tried);
    return tried;
}

}  // namespace win32
