#include "console/text_table.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace console {

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
            cells.push_back(text::DisplayText(row[i], std::string_view::npos));
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

}  // namespace console
