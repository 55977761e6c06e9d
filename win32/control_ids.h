// The control IDs of both windows, by the control's place in its window's layout table: what the
// windows create their controls with, and what a test driver or an accessibility tool finds them
// by (GetDlgItem; UI Automation shows the ID as the control's automation ID).
#pragma once

#include <windows.h>

#include <cstddef>

#include "window/frm_about_layout.h"

namespace win32 {

// Above IDOK and IDCANCEL, which the dialog manager sends for Enter and Esc.
inline constexpr int kFirstControlId = 100;

constexpr int ControlId(std::size_t control) noexcept {
    return kFirstControlId + static_cast<int>(control);
}

// The table place of the control with `id`, or `count` when no control of a table of `count`
// controls has it.
constexpr std::size_t ControlAt(int id, std::size_t count) noexcept {
    const int index = id - kFirstControlId;
    return index >= 0 && static_cast<std::size_t>(index) < count ? static_cast<std::size_t>(index)
                                                                 : count;
}

// In the About window, OK is IDOK: the button the dialog manager presses for Enter and whose
// command Esc's IDCANCEL stands beside.
constexpr int AboutControlId(std::size_t control) noexcept {
    return control == window::frm_about_layout::kOk.index() ? IDOK : ControlId(control);
}

constexpr std::size_t AboutControlAt(int id) noexcept {
    return id == IDOK ? window::frm_about_layout::kOk.index()
                      : ControlAt(id, window::frm_about_layout::kControlCount);
}

}  // namespace win32
