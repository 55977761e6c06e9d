// What both windows' layout tables are made of: places in twips, the one conversion from twips to
// pixels, the lookup of a control by its name, and the texts each window shows in a box of fixed
// size (which the interface font is fitted to).
//
// A twip is 1/1440 inch, so that at 96 dots per inch 15 of them make one device-independent pixel,
// the unit Qt places widgets in.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
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

// A text one of the windows shows in a box of fixed size, in pixels.
struct FixedText {
    enum class Kind { Label, Option, Button };
    std::string_view text;  // UTF-8; "&" marks an access key, as in the layout tables
    Kind kind;
    int width;
    int height;
};

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

// The control called `name` among a window's `controls`, built in the order of `Table`, as the
// type its entry makes. A control of another type is a fault in the window's table.
template <typename T, const auto& Table, std::size_t N>
T* Control(const std::array<QWidget*, N>& controls, ControlName<Table> name) {
    static_assert(N == Table.size());
    auto* control = dynamic_cast<T*>(controls[name.index()]);
    Q_ASSERT(control != nullptr);
    return control;
}

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

inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace ui
