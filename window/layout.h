// What both windows' layout tables are made of, whatever toolkit draws them: places in twips, the
// conversion from twips to pixels, the lookup of a control by its name, and the texts each window
// shows in a box of fixed size (which the interface font is fitted to).
//
// A twip is 1/1440 inch, so that at 96 dots per inch 15 of them make one device-independent pixel.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace window {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPixel = 15;

// A control's place in its window's client area, in twips.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

// Every layout value is a whole number of pixels at 96 dots per inch; the rounding only keeps a
// stray value from being cut short.
constexpr int TwipsToPixels(int twips) noexcept {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// The same length on a screen of `dotsPerInch`, to the nearest pixel (halves away from zero). At
// 96 dots per inch it equals TwipsToPixels.
constexpr int TwipsToPixels(int twips, int dotsPerInch) noexcept {
    const long long scaled = static_cast<long long>(twips) * dotsPerInch;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                        : -((-scaled + half) / kTwipsPerInch));
}

// A window's frame, in the terms every toolkit offers: whether the user can resize it, whether its
// title bar has a minimize button beside the close box (neither window has a working maximize
// button), and whether it has an entry in the taskbar.
struct FrameStyle {
    bool resizable;
    bool minimizeButton;
    bool inTaskbar;
};

// A text one of the windows shows in a box of fixed size, in pixels at 96 dots per inch.
struct FixedText {
    enum class Kind { Label, Option, Button };
    std::string_view text;  // UTF-8; "&" marks an access key, as in the layout tables
    Kind kind;
    int width;
    int height;
};

// The letter a "&" in a control's text makes its access key ('P' for "&PLC address"), uppercase;
// 0 when the text has none. "&&" stands for an ampersand and is not one.
constexpr char AccessKeyOf(std::string_view text) noexcept {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            const char key = text[i + 1];
            if (key != '&') {
                return key >= 'a' && key <= 'z' ? static_cast<char>(key - 'a' + 'A') : key;
            }
            ++i;
        }
    }
    return 0;
}

// A control named in code, checked against the layout table `Table` when compiling: a name the
// table does not hold does not compile. Written as the name itself, "Frame1".
template <const auto& Table>
class ControlName {
  public:
    // Implicit, so that a name reads as a plain string where a control is asked for.
    consteval ControlName(const char* name) : index_(IndexIn(name)) {}
    consteval ControlName(std::string_view name) : index_(IndexIn(name)) {}

    // The control's entry in the table.
    constexpr std::size_t index() const noexcept { return index_; }

    friend constexpr bool operator==(ControlName, ControlName) noexcept = default;

  private:
    static consteval std::size_t IndexIn(std::string_view name) {
        for (std::size_t i = 0; i < Table.size(); ++i) {
            if (Table[i].name == name) {
                return i;
            }
        }
        throw "no control of this name in the layout table";
    }

    std::size_t index_;
};

// A second order of a table's controls (tab order, stacking order) as their places in the table.
// Does not compile unless `names` names every control of the table exactly once.
template <const auto& Table, std::size_t N>
consteval std::array<std::size_t, N> OrderOf(const std::array<std::string_view, N>& names) {
    static_assert(N == Table.size());
    std::array<std::size_t, N> order{};
    std::array<bool, N> named{};
    for (std::size_t p = 0; p < N; ++p) {
        order[p] = ControlName<Table>(names[p]).index();
        if (named[order[p]]) {
            throw "a control named twice in an order of the layout table";
        }
        named[order[p]] = true;
    }
    return order;  // N names, none twice: every control once
}

}  // namespace window
