// The three ways the tool writes its results: an aligned table for a person, CSV and JSON for
// programs. Every writer appends to a string that the caller sends to stdout.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/program.h"
#include "console/text_table.h"
#include "conversion/device_map.h"

namespace cli {

using console::AppendCsvField;
using console::AppendCsvRows;
using console::AppendTable;

using console::Format;

// One item of the command line and what the map says of it.
struct Lookup {
    std::string input;
    conversion::LookupResult result;
};

// The results of items given on the command line as cells: a header row of kColumnNames, then one
// row per entry found, one per item that had no answer.
std::vector<std::vector<std::string>> LookupRows(std::span<const Lookup> lookups);

// Appends the results of items given on the command line: one line (or JSON object) per entry
// found, one per item that had no answer, with the columns of kColumnNames.
void AppendLookups(std::string& out, Format format, std::span<const Lookup> lookups);

}  // namespace cli
