// What both windows' layout tables are made of: places in twips, the one conversion from twips to
// pixels, and the lookup of a control's table entry by its name.
//
// A twip is 1/1440 inch, so that at 96 dots per inch 15 of them make one device-independent pixel,
// the unit Qt places widgets in.
#pragma once

#include <QRect>
#include <QString>
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace ui {

inline constexpr int kTwipsPerPixel = 15;

// A control's place in its window's client area, in twips.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

// Every layout value is a whole number of pixels; the rounding only keeps a stray value from being
// cut short.
constexpr int TwipsToPixels(int twips) noexcept {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect ToPixels(TwipRect r) noexcept {
    return {TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
            TwipsToPixels(r.height)};
}

// The index of the entry called `name` in a layout table; the table's size when there is none.
template <typename Entry, std::size_t N>
constexpr std::size_t FindControl(const std::array<Entry, N>& table, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].name == name) {
            return i;
        }
    }
    return N;
}

// As FindControl, for names written in code: a name missing from the table does not compile.
template <typename Entry, std::size_t N>
consteval std::size_t RequireControl(const std::array<Entry, N>& table, std::string_view name) {
    const std::size_t index = FindControl(table, name);
    if (index == N) {
        throw "no control of this name in the layout table";
    }
    return index;
}

// True when `names` holds the name of every entry of `table` exactly once: a second order of the
// same controls (tab order, stacking order) leaves none out and repeats none.
template <typename Entry, std::size_t N>
consteval bool NamesEveryControlOnce(const std::array<Entry, N>& table,
                                     const std::array<std::string_view, N>& names) {
    return std::all_of(table.begin(), table.end(), [&names](const Entry& entry) {
        return std::count(names.begin(), names.end(), entry.name) == 1;
    });
}

inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace ui
