// What a spreadsheet cell can hold, made from whatever text a tag list or an answer brings: the
// list may be in any encoding or none, and an .xlsx file is XML, which cannot carry every
// character, in cells that hold only so much. Pure: no workbook and no file; the workbook writer
// puts the result into its sheet.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace taglist {

// The most a cell holds, in UTF-16 units as spreadsheets count them.
inline constexpr std::size_t kMaxCellUnits = 32767;

struct CellText {
    std::size_t width = 0;  // characters in its longest line
    bool cut = false;       // it was longer than a cell holds
};

// Writes `text` into `out` as a cell of the file can hold it and gives its width: UTF-8
// throughout, with NUL, U+FFFE and U+FFFF (which XML cannot carry) and bytes that are no UTF-8
// (overlong forms and surrogates included) as U+FFFD; an underscore that starts a run such as
// "_x0041_", which spreadsheets read as the character it names, written as "_x005F_" so that the
// text reads back as typed; and cut at the last whole character that fits kMaxCellUnits, a
// character beyond the Basic Multilingual Plane counting two. Other control characters are left
// for libxlsxwriter, which escapes them itself.
CellText MakeCellText(std::string_view text, std::string& out);

// The number a number cell holds for `text`: 1 to 15 decimal digits, which a double holds
// exactly. Nothing for any other text, which is written as text so that it reads back as given.
std::optional<double> CellNumber(std::string_view text) noexcept;

}  // namespace taglist
