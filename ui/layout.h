// What the Qt windows add to the toolkit-free layout tables (window/layout.h): a twip rectangle as
// a QRect of device-independent pixels, the widget of a control named in a table, and a table's
// UTF-8 text as a QString.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <string_view>

#include "window/layout.h"

namespace ui {

using window::ControlName;
using window::FixedText;
using window::TwipRect;
using window::TwipsToPixels;

// Qt places widgets in device-independent pixels, 15 twips each.
constexpr QRect ToPixels(TwipRect r) noexcept {
    return {TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
            TwipsToPixels(r.height)};
}

// The control called `name` among a window's `controls`, built in the order of `Table`, as the
// type its entry makes. A control of another type is a fault in the window's table.
template <typename T, const auto& Table, std::size_t N>
T* Control(const std::array<QWidget*, N>& controls, ControlName<Table> name) {
    static_assert(N == Table.size());
    auto* control = dynamic_cast<T*>(controls[name.index()]);
    Q_ASSERT(control != nullptr);
    return control;
}

inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace ui
