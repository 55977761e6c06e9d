#include "cli/output.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/entry_text.h"

namespace lookup {

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
        for (const auto& entry : lookup.result.found()) {
            const EntryText text(entry);
            std::vector<std::string> row{lookup.input};
            for (const auto cell : text.Cells()) {
                row.emplace_back(cell);
            }
            row.emplace_back();
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

namespace {

nlohmann::ordered_json JsonOf(const Lookup& lookup, const conversion::MapEntry* entry) {
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
    object["width"] = cells[5];
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
            array.push_back(JsonOf(lookup, nullptr));
        }
        for (const auto& entry : lookup.result.found()) {
            array.push_back(JsonOf(lookup, &entry));
        }
    }
    // Input bytes that are not UTF-8 become U+FFFD rather than make the whole output invalid.
    return array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

void AppendCsvField(std::string& out, std::string_view text, char delimiter) {
    const bool plain = std::none_of(text.begin(), text.end(), [&](char c) {
        return c == delimiter || c == '"' || c == '\r' || c == '\n';
    });
    if (plain) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

void AppendCsvRows(std::string& out, std::span<const std::vector<std::string>> rows) {
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            AppendCsvField(out, row[i]);
        }
        out += '\n';
    }
}

void AppendTable(std::string& out, std::span<const std::vector<std::string>> rows,
                 std::vector<std::size_t>* kept_widths) {
    std::vector<std::vector<std::string>> shown;
    std::vector<std::size_t> widths = kept_widths ? *kept_widths : std::vector<std::size_t>{};
    for (const auto& row : rows) {
        auto& cells = shown.emplace_back();
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Every byte outside printable ASCII escaped: a cell's width is its byte count, and no
            // input moves the terminal's cursor.
            cells.push_back(conversion::DisplayText(row[i], std::string_view::npos));
            widths.resize(std::max(widths.size(), i + 1));
            widths[i] = std::max(widths[i], cells.back().size());
        }
    }
    for (const auto& cells : shown) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size()) {
                line.append(widths[i] - cells[i].size() + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line;
        out += '\n';
    }
    if (kept_widths != nullptr) {
        *kept_widths = std::move(widths);
    }
}

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

}  // namespace lookup
