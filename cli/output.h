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
#include "conversion/typed_items.h"

namespace cli {

using console::AppendCsvField;
using console::AppendCsvRows;
using console::AppendTable;

using console::Format;

// One item of the command line and what the map says of it.
// A register or bit of an item read with a type, and what it holds there: "f32, low word".
struct TypedEntry {
    conversion::MapEntry entry;
    std::string holds;
};

struct Lookup {
    std::string input;
    conversion::LookupResult result;
    std::vector<TypedEntry> typed;  // an item with a type (D200:f32): its rows, in place of found()
};

// An item read with a type (D200:f32): a row for each register or bit of its values, saying what
// it holds ("f32, low word"), or the reason the type is refused; `note` says how a bare number was
// read, when it could be meant other ways.
Lookup LookUpTyped(const std::string& item, std::optional<conversion::ModbusTable> table,
                   conversion::BareNumbers numbers, std::string& note);

// The results of items given on the command line as cells: a header row of kColumnNames, then one
// row per entry found, one per item that had no answer.
std::vector<std::vector<std::string>> LookupRows(std::span<const Lookup> lookups);

// Appends the results of items given on the command line: one line (or JSON object) per entry
// found, one per item that had no answer, with the columns of kColumnNames.
void AppendLookups(std::string& out, Format format, std::span<const Lookup> lookups);

}  // namespace cli
