#include "web/watch_list.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "scan/value_text.h"
#include "taglist/csv_reader.h"
#include "taglist/tag_rows.h"

namespace web {

namespace {

// `text` trimmed and in lower case, to find a column by its header name.
std::string HeaderName(std::string_view text) {
    std::string name;
    for (const char c : text) {
        if (c != ' ' && c != '\t') {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return name;
}

taglist::Source TextSource(std::string_view text) {
    return [text, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t count = std::min(size, text.size() - at);
        std::copy_n(text.data() + at, count, buffer);
        at += count;
        return count;
    };
}

// The columns of a dropped tag list: named in its header when it has a Device column (a Name or
// Tag column and a Type column taken when there), else the device in the first column.
taglist::TagColumns ColumnsOf(std::string_view csv) {
    taglist::CsvReader reader(TextSource(csv), 0);
    taglist::CsvRecord first;
    taglist::TagColumns columns;
    if (!reader.Next(first)) {
        return columns;
    }
    for (const auto& field : taglist::SplitFields(first.raw, reader.delimiter())) {
        const std::string name = HeaderName(field);
        if (name == "device") {
            columns.device = field;
            columns.header = true;
        } else if ((name == "name" || name == "tag") && columns.name.empty()) {
            columns.name = field;
        } else if (name == "type") {
            columns.type = field;
        }
    }
    if (!columns.header) {
        return taglist::TagColumns{};
    }
    return columns;
}

// A value as a number for the trend: a bit 0 or 1, a word as its type reads it; none for a
// 32-bit counter's raw word, which is no number, or a float that is none.
std::optional<double> NumberOf(const scan::DeviceCells& cells) {
    const std::string& text = cells[scan::ValueCell];
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

std::string ReferenceText(conversion::ModbusTable table, std::uint16_t address) {
    std::string digits = std::to_string(conversion::ReferenceOf(table, address));
    return std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

std::optional<text::Failure> WatchList::Watch(const std::vector<std::string>& items,
                                              std::vector<std::string>& notes) {
    auto asked = scan::ReadAskedItems(items, std::nullopt, conversion::BareNumbers::Any,
                                      [&](const std::string& note) { notes.push_back(note); });
    if (auto* failure = std::get_if<text::Failure>(&asked)) {
        return std::move(*failure);
    }
    auto values = std::get<std::vector<scan::AskedValue>>(std::move(asked));
    std::vector<std::string> names(values.size());
    return Replace(std::move(values), std::move(names), items);
}

std::optional<text::Failure> WatchList::WatchTagList(std::string_view csv,
                                                     std::vector<std::string>& notes) {
    taglist::TagRowReader reader(TextSource(csv), ColumnsOf(csv));
    if (auto failure = reader.Start()) {
        return failure;
    }
    std::vector<scan::AskedValue> asked;
    std::vector<std::string> names;
    std::vector<std::string> items;
    taglist::TagRow row;
    while (reader.Next(row)) {
        if (row.blank) {
            continue;
        }
        const std::string item =
            row.type.empty() || row.device.empty() ? row.device : row.device + ":" + row.type;
        std::vector<std::string> row_notes;
        auto read =
            scan::ReadAskedItems({item}, std::nullopt, conversion::BareNumbers::Any,
                                 [&](const std::string& note) { row_notes.push_back(note); });
        const std::string where = "line " + std::to_string(row.line) + ": ";
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            // A row that names nothing is passed over, said once, as zentriq-poll's lists do.
            notes.push_back(where + (item.empty() ? "no device" : failure->message));
            continue;
        }
        for (auto& note : row_notes) {
            notes.push_back(where + note);
        }
        for (const auto& value : std::get<std::vector<scan::AskedValue>>(read)) {
            asked.push_back(value);
            names.push_back(row.name);
        }
        items.push_back(item);
    }
    if (asked.empty()) {
        return text::Failure{"the tag list names no device"};
    }
    return Replace(std::move(asked), std::move(names), std::move(items));
}

std::optional<text::Failure> WatchList::Replace(std::vector<scan::AskedValue> asked,
                                                std::vector<std::string> names,
                                                std::vector<std::string> items) {
    if (asked.size() > kMostWatched) {
        return text::Failure{std::to_string(asked.size()) +
                             " values asked for: the console watches " +
                             std::to_string(kMostWatched) + " at most"};
    }
    items_ = std::move(items);
    asked_ = std::move(asked);
    names_ = std::move(names);
    read_at_.assign(asked_.size(), std::nullopt);
    if (asked_.empty()) {
        scanner_.reset();
    } else {
        scanner_.emplace(scan::EntriesToRead(asked_), cost_, scan::LowWordsOf(asked_));
    }
    return std::nullopt;
}

std::vector<std::string> WatchList::Series() const {
    std::vector<std::string> series;
    series.reserve(asked_.size());
    for (const auto& value : Values(Clock::now())) {
        series.push_back(value.device);
    }
    return series;
}

void WatchList::Begin() {
    if (scanner_) {
        scanner_->Begin();
    }
}

const modbus::ReadRequest* WatchList::Next() const {
    return scanner_ ? scanner_->Next() : nullptr;
}

void WatchList::Take(const transport::Outcome& outcome, std::chrono::nanoseconds took,
                     Clock::time_point now) {
    if (!scanner_) {
        return;
    }
    scanner_->Take(outcome, took);
    if (scanner_->Next() != nullptr) {
        return;
    }
    // The scan is over: what has a value now was read by it.
    const auto values = scan::ValuesAsAsked(asked_, scanner_->values());
    for (std::size_t i = 0; i < values.size() && i < read_at_.size(); ++i) {
        if (values[i].value) {
            read_at_[i] = now;
        }
    }
}

std::vector<WatchedValue> WatchList::Values(Clock::time_point now) const {
    std::vector<WatchedValue> watched;
    if (!scanner_) {
        return watched;
    }
    const auto values = scan::ValuesAsAsked(asked_, scanner_->values());
    watched.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        auto cells = scan::CellsOf(values[i]);
        const auto& entry = values[i].entry;
        WatchedValue value{cells[scan::DeviceCell],
                           i < names_.size() ? names_[i] : "",
                           cells[scan::TableCell],
                           cells[scan::AddressCell],
                           ReferenceText(entry.table, entry.address),
                           cells[scan::ValueCell],
                           cells[scan::HexCell],
                           cells[scan::NoteCell],
                           cells[scan::ErrorCell],
                           std::nullopt,
                           NumberOf(cells)};
        if (i < read_at_.size() && read_at_[i]) {
            value.age = std::chrono::duration_cast<std::chrono::milliseconds>(now - *read_at_[i]);
        }
        watched.push_back(std::move(value));
    }
    return watched;
}

}  // namespace web
