#include "cli/output.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/entry_text.h"
#include "console/json_text.h"

namespace cli {

namespace {

// Where the width of an entry stands in a row of kColumnNames.
constexpr std::size_t kWidthColumn = 6;
static_assert(kColumnNames[kWidthColumn] == "width");

// The rows of a lookup: its entries with what a type says each holds (empty: the entry's own
// width).
std::vector<TypedEntry> RowsOf(const Lookup& lookup) {
    if (!lookup.typed.empty() || !lookup.result.ok()) {
        return lookup.typed;
    }
    std::vector<TypedEntry> rows;
    for (const auto& entry : lookup.result.found()) {
        rows.push_back({entry, {}});
    }
    return rows;
}

}  // namespace

Lookup LookUpTyped(const std::string& item, std::optional<conversion::ModbusTable> table,
                   conversion::BareNumbers numbers, std::string& note) {
    auto typed = conversion::ReadTypedItem(item, table, numbers);
    Lookup lookup{item, {}, {}};
    note = std::move(typed.note);
    if (!typed.ok()) {
        lookup.result.error = typed.error;
        lookup.result.message = std::move(typed.message);
        return lookup;
    }
    for (const auto& value : typed.values) {
        const std::string type(conversion::TypeName(value.type));
        if (value.high) {
            // The controller keeps the low word at the lower address; every engine asks which.
            lookup.typed.push_back({value.entry, type + ", low word"});
            lookup.typed.push_back({*value.high, type + ", high word"});
        } else {
            lookup.typed.push_back({value.entry, type});
        }
    }
    return lookup;
}

std::vector<std::vector<std::string>> LookupRows(std::span<const Lookup> lookups) {
    std::vector<std::vector<std::string>> rows;
    rows.emplace_back(kColumnNames.begin(), kColumnNames.end());
    for (const auto& lookup : lookups) {
        if (!lookup.result.ok()) {
            std::vector<std::string> row(kColumnNames.size());
            row.front() = lookup.input;
            row.back() = lookup.result.message;
            rows.push_back(std::move(row));
            continue;
        }
        for (const auto& [entry, holds] : RowsOf(lookup)) {
            const EntryText text(entry);
            std::vector<std::string> row{lookup.input};
            for (const auto cell : text.Cells()) {
                row.emplace_back(cell);
            }
            if (!holds.empty()) {
                row[kWidthColumn] = holds;
            }
            row.emplace_back();
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

namespace {

nlohmann::ordered_json JsonOf(const Lookup& lookup, const conversion::MapEntry* entry,
                              std::string_view holds) {
    nlohmann::ordered_json object;
    object["input"] = lookup.input;
    if (entry == nullptr) {
        for (std::size_t i = 1; i + 1 < kColumnNames.size(); ++i) {
            object[std::string(kColumnNames[i])] = nullptr;
        }
        object["error"] = lookup.result.message;
        return object;
    }
    const EntryText text(*entry);
    const auto cells = text.Cells();
    object["device"] = cells[0];
    object["table"] = cells[1];
    object["address"] = cells[2];
    object["decimal"] = entry->address;
    object["reference"] = cells[4];
    object["width"] = holds.empty() ? cells[5] : holds;
    const auto read = conversion::ReadCodes(entry->table);
    const auto write = conversion::WriteCodes(entry->table);
    object["read"] = std::vector<int>(read.begin(), read.end());
    object["write"] = std::vector<int>(write.begin(), write.end());
    object["error"] = nullptr;
    return object;
}

std::string Json(std::span<const Lookup> lookups) {
    auto array = nlohmann::ordered_json::array();
    for (const auto& lookup : lookups) {
        if (!lookup.result.ok()) {
            array.push_back(JsonOf(lookup, nullptr, {}));
        }
        for (const auto& [entry, holds] : RowsOf(lookup)) {
            array.push_back(JsonOf(lookup, &entry, holds));
        }
    }
    // Input bytes that are not UTF-8 become U+FFFD rather than make the whole output invalid.
    return console::JsonText(array);
}

}  // namespace

void AppendLookups(std::string& out, Format format, std::span<const Lookup> lookups) {
    switch (format) {
        case Format::Table:
            AppendTable(out, LookupRows(lookups));
            break;
        case Format::Csv:
            AppendCsvRows(out, LookupRows(lookups));
            break;
        case Format::Json:
            out += Json(lookups);
            out += '\n';
            break;
    }
}

}  // namespace cli
