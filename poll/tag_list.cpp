#include "poll/tag_list.h"

#include "console/text_table.h"
#include "poll/report.h"
#include "scan/value_text.h"
#include "taglist/csv_reader.h"
#include "taglist/tag_rows.h"
#include "text/ascii_text.h"

namespace poll {

namespace {

constexpr const char* kValueColumn = "value";
constexpr const char* kErrorColumn = "error";

}  // namespace

text::Result<TagList> ReadTagList(taglist::Input input, const taglist::TagColumns& columns,
                                  std::optional<conversion::ModbusTable> table,
                                  conversion::BareNumbers numbers) {
    taglist::TagRowReader reader(std::move(input), columns);
    if (auto failure = reader.Start()) {
        return std::move(*failure);
    }
    TagList list;
    list.header = reader.header();
    list.width = reader.header_fields();
    taglist::TagRow read;
    while (reader.Next(read)) {
        TagRow row{read.raw, read.line, read.blank, read.fields, {}, 0, 0};
        if (list.width == 0 && !read.blank) {
            list.width = read.fields;
        }
        row.first = list.asked.size();
        if (!read.blank) {
            std::string item = read.device;
            const bool typed = !read.type.empty() && !item.empty();
            if (typed) {
                item.append(":").append(read.type);
            }
            auto asked =
                item.empty() ? text::Result<std::vector<scan::AskedValue>>(
                                   text::Failure{"no device in column " + columns.device})
                : typed && !conversion::FindTypeWord(read.type)
                    ? text::Result<std::vector<scan::AskedValue>>(text::Failure{
                          "column " + columns.type + ": " + conversion::NotATypeText(read.type)})
                    : scan::ReadAskedItems({item}, table, numbers, [](const std::string&) {});
            if (auto* failure = std::get_if<text::Failure>(&asked)) {
                row.error = std::move(failure->message);
            } else {
                for (auto& value : std::get<std::vector<scan::AskedValue>>(asked)) {
                    list.asked.push_back(value);
                }
            }
        }
        row.count = list.asked.size() - row.first;
        list.rows.push_back(std::move(row));
    }
    list.delimiter = reader.delimiter() == '\0' ? ',' : reader.delimiter();
    list.marked_unicode = reader.marked_unicode();
    return list;
}

std::vector<std::vector<std::string>> TagRows(const TagList& list,
                                              const std::vector<scan::DeviceValue>& values) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(list.rows.size() + 1);
    const auto padded = [&](const std::string& raw, std::size_t fields) {
        auto cells = taglist::SplitFields(raw, list.delimiter);
        cells.resize(std::max(fields, list.width));
        return cells;
    };
    if (list.header) {
        auto cells = padded(*list.header, list.width);
        cells.emplace_back(kValueColumn);
        cells.emplace_back(kErrorColumn);
        rows.push_back(std::move(cells));
    }
    for (const auto& row : list.rows) {
        if (row.blank) {
            rows.push_back(taglist::SplitFields(row.raw, list.delimiter));
            continue;
        }
        if (row.count == 0) {
            auto cells = padded(row.raw, row.fields);
            cells.emplace_back();
            cells.push_back(row.error);
            rows.push_back(std::move(cells));
        }
        for (std::size_t i = row.first; i < row.first + row.count; ++i) {
            auto cells = padded(row.raw, row.fields);
            cells.push_back(scan::ValueText(values[i]));
            cells.push_back(values[i].error);
            rows.push_back(std::move(cells));
        }
    }
    return rows;
}

std::string TagListText(const TagList& list, const std::vector<scan::DeviceValue>& values) {
    std::string out;
    // Each row as it was read, its quoting kept; padded to the first row's width; then the
    // value and error fields.
    const auto append = [&](const std::string& raw, std::size_t fields, std::string_view value,
                            std::string_view error) {
        out += raw;
        out.append(list.width > fields ? list.width - fields : 0, list.delimiter);
        out += list.delimiter;
        console::AppendCsvField(out, value, list.delimiter);
        out += list.delimiter;
        console::AppendCsvField(out, error, list.delimiter);
        out += '\n';
    };
    if (list.header) {
        append(*list.header, list.width, kValueColumn, kErrorColumn);
    }
    for (const auto& row : list.rows) {
        if (row.blank) {
            out.append(row.raw).append("\n");
        } else if (row.count == 0) {
            append(row.raw, row.fields, "", row.error);
        }
        for (std::size_t i = row.first; i < row.first + row.count; ++i) {
            append(row.raw, row.fields, scan::ValueText(values[i]), values[i].error);
        }
    }
    return out;
}

}  // namespace poll
