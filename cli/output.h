// The three ways the tool writes its results: an aligned table for a person, CSV and JSON for
// programs. Every writer appends to a string that the caller sends to stdout.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_map.h"

namespace lookup {

enum class Format { Table, Csv, Json };

// One item of the command line and what the map says of it.
struct Lookup {
    std::string input;
    conversion::LookupResult result;
};

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

// The results of items given on the command line as cells: a header row of kColumnNames, then one
// row per entry found, one per item that had no answer.
std::vector<std::vector<std::string>> LookupRows(std::span<const Lookup> lookups);

// Appends the results of items given on the command line: one line (or JSON object) per entry
// found, one per item that had no answer, with the columns of kColumnNames.
void AppendLookups(std::string& out, Format format, std::span<const Lookup> lookups);

}  // namespace lookup
