// Results as a person or a program reads them: CSV fields and lines, and a table of aligned columns
// that no cell can disturb (control characters and bytes outside ASCII escaped).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace console {

// Appends `text` as one CSV field: as it is, or in quotes with its quotes doubled when it holds the
// separator, a quote or a line break.
void AppendCsvField(std::string& out, std::string_view text, char delimiter = ',');

// Appends `rows` as CSV lines, one field per cell.
void AppendCsvRows(std::string& out, std::span<const std::vector<std::string>> rows);

// Appends `rows` as a table of left-aligned columns two spaces apart, the first row being the
// header; a row's last cell is not padded. Control characters and bytes outside ASCII are escaped
// so that no input can move the terminal's cursor. With `widths`, a table written in parts keeps
// its columns at least as wide as in the parts before (which `widths` holds, and is given back).
void AppendTable(std::string& out, std::span<const std::vector<std::string>> rows,
                 std::vector<std::size_t>* widths = nullptr);

}  // namespace console
