#include "poll/report.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "console/json_text.h"

#include "console/text_table.h"
#include "conversion/device_map.h"
#include "scan/value_text.h"
#include "text/ascii_text.h"

namespace poll {

namespace {

using Cells = std::vector<std::string>;

// The columns from here on are left out of a table where no row fills them.
constexpr std::size_t kFirstOptionalColumn = scan::HexCell;

// A write's own column, before the value read back.
constexpr std::string_view kWrittenColumn = "written";
constexpr std::string_view kDiffersNote =
    "reads back other than written: the controller's program may drive it";

// A device's row as cells of a table.
Cells RowOf(const scan::DeviceValue& device) {
    auto cells = scan::CellsOf(device);
    return {std::make_move_iterator(cells.begin()), std::make_move_iterator(cells.end())};
}

// The header, with the written column before the value for a write.
Cells Header(bool writes) {
    Cells header(scan::kColumns.begin(), scan::kColumns.end());
    if (writes) {
        header.insert(header.begin() + scan::ValueCell, std::string(kWrittenColumn));
    }
    return header;
}

// A row with the value written before the value read back, shown the same way; a read-back that
// differs is noted.
Cells RowOf(const scan::DeviceValue& device, bool writes) {
    Cells row = RowOf(device);
    if (!writes) {
        return row;
    }
    if (scan::WrittenDiffers(device)) {
        row[scan::NoteCell] = kDiffersNote;
    }
    row.insert(row.begin() + scan::ValueCell, scan::WrittenText(device));
    return row;
}

nlohmann::ordered_json JsonOf(const Cells& row, const Cells& header) {
    nlohmann::ordered_json object;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string& key = header[i];
        const bool numeric = key == scan::kColumns[scan::ValueCell] || key == kWrittenColumn;
        if (row[i].empty() && i >= scan::ValueCell) {
            object[key] = nullptr;
        } else if (numeric) {
            // A number as JSON writes one; a float that is none (nan, inf) stays text.
            auto number = nlohmann::ordered_json::parse(row[i], nullptr, false);
            object[key] = number.is_number() ? std::move(number) : nlohmann::ordered_json(row[i]);
        } else {
            object[key] = row[i];
        }
    }
    return object;
}

// The table of a scan, the columns no row fills (hex, note, error) left out.
std::vector<Cells> TableRows(std::span<const scan::DeviceValue> values, bool change_marks,
                             std::span<const std::optional<std::uint32_t>> previous, bool writes) {
    std::vector<Cells> rows{Header(writes)};
    for (const auto& value : values) {
        rows.push_back(RowOf(value, writes));
    }
    // The optional columns' places, past the written column where there is one.
    const std::size_t shift = writes ? 1 : 0;
    for (std::size_t column = scan::kColumns.size() + shift;
         column-- > kFirstOptionalColumn + shift;) {
        const bool empty = std::all_of(rows.begin() + 1, rows.end(),
                                       [&](const Cells& row) { return row[column].empty(); });
        if (empty) {
            for (auto& row : rows) {
                row.erase(row.begin() + static_cast<std::ptrdiff_t>(column));
            }
        }
    }
    if (change_marks) {
        rows[0].insert(rows[0].begin(), "");
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto now = scan::HeldWords(values[i]);
            const bool changed = i < previous.size() && now && previous[i] && *previous[i] != *now;
            rows[i + 1].insert(rows[i + 1].begin(), changed ? "*" : "");
        }
    }
    return rows;
}

}  // namespace

std::vector<std::vector<std::string>> ScanRows(std::span<const scan::DeviceValue> values) {
    std::vector<Cells> rows{Header(false)};
    rows.reserve(values.size() + 1);
    for (const auto& value : values) {
        rows.push_back(RowOf(value));
    }
    return rows;
}

std::string ScanText(Format format, std::span<const scan::DeviceValue> values, bool writes) {
    std::string out;
    const Cells header = Header(writes);
    switch (format) {
        case Format::Table:
            console::AppendTable(out, TableRows(values, false, {}, writes));
            break;
        case Format::Csv: {
            std::vector<Cells> rows{header};
            for (const auto& value : values) {
                rows.push_back(RowOf(value, writes));
            }
            console::AppendCsvRows(out, rows);
            break;
        }
        case Format::Json: {
            auto array = nlohmann::ordered_json::array();
            for (const auto& value : values) {
                array.push_back(JsonOf(RowOf(value, writes), header));
            }
            out = console::JsonText(array) + "\n";
            break;
        }
    }
    return out;
}

std::string ScanEndHint(const transport::Connection& connection, const scan::ScanEnd& end) {
    if (end.line != transport::LineState::Silent) {
        return {};
    }
    if (end.late) {
        // Half as long again as the lateness seen, in whole tenths of a second.
        const auto late = end.late->count();
        const auto suggested = (late * 3 / 2 + 99) / 100 * 100;
        return "the controller answers, but later than --timeout " +
               std::to_string(connection.timeout.count()) + " ms (a reply came " +
               std::to_string(late) + " ms after its request): raise it, e.g. --timeout " +
               std::to_string(suggested);
    }
    if (connection.tcp && connection.serial_frames) {
        return "nothing came back from " + transport::HostText(connection) +
               ": check that --mode " + std::string(modbus::ModeName(connection.mode)) +
               " and --slave " + std::to_string(connection.slave) +
               " match the controller, and that the device server passes the frames on unchanged "
               "at the controller's baud rate and line format";
    }
    if (connection.tcp) {
        return "nothing came back from " + transport::HostText(connection) +
               ": check --slave (unit " + std::to_string(connection.slave) +
               "; a gateway may want the controller's station) and that it is a Modbus TCP "
               "server";
    }
    return "the controller did not answer at all: check that --mode " +
           std::string(modbus::ModeName(connection.mode)) + ", --baud " +
           std::to_string(connection.baud) + ", --line " + transport::LineText(connection.line) +
           " and --slave " + std::to_string(connection.slave) +
           " match the controller's communication settings, the cable, and that no other "
           "program is using " +
           connection.port;
}

std::string TimeText(std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
    return text;
}

WatchReport::WatchReport(Format format, bool redraw, std::string connection)
    : format_(format), redraw_(redraw), connection_(std::move(connection)) {}

std::string WatchReport::After(std::uint64_t scan, std::chrono::system_clock::time_point time,
                               std::span<const scan::DeviceValue> values,
                               std::size_t failed_requests) {
    errors_ += failed_requests;
    if (failed_requests == 0) {
        last_good_ = time;
    }
    std::string text = redraw_ ? Redrawn(scan, time, values) : LogRows(scan, time, values);
    previous_.clear();
    previous_.reserve(values.size());
    for (const auto& value : values) {
        previous_.push_back(scan::HeldWords(value));
    }
    return text;
}

std::string WatchReport::Redrawn(std::uint64_t scan, std::chrono::system_clock::time_point,
                                 std::span<const scan::DeviceValue> values) {
    std::string body = connection_ + "\nscan " + std::to_string(scan) + "  last good scan " +
                       (last_good_ ? TimeText(*last_good_).substr(11) : std::string("none")) +
                       "  errors " + std::to_string(errors_) + "  (Ctrl-C ends)\n\n";
    console::AppendTable(body, TableRows(values, true, previous_, false));
    return DrawnOver(body, lines_drawn_);
}

std::string DrawnOver(std::string_view body, std::size_t& lines_drawn) {
    std::string out;
    if (lines_drawn > 0) {
        // Back to the first line drawn last time; each line is cleared to its end as it is
        // written, and whatever stood below the new table is cleared too.
        out += "\x1b[" + std::to_string(lines_drawn) + "F";
    }
    lines_drawn = 0;
    std::size_t start = 0;
    while (start < body.size()) {
        const std::size_t end = std::min(body.find('\n', start), body.size());
        out.append(body.substr(start, end - start));
        out += "\x1b[K\n";
        ++lines_drawn;
        start = end + 1;
    }
    out += "\x1b[J";
    return out;
}

std::string WatchReport::LogRows(std::uint64_t scan, std::chrono::system_clock::time_point time,
                                 std::span<const scan::DeviceValue> values) {
    const std::string when = TimeText(time);
    std::string out;
    if (format_ == Format::Json) {
        for (const auto& value : values) {
            nlohmann::ordered_json object;
            object["time"] = when;
            object["scan"] = scan;
            const auto fields = JsonOf(RowOf(value), Header(false));
            object.update(fields);
            out += console::JsonText(object) + "\n";
        }
        return out;
    }
    std::vector<Cells> rows;
    if (scan == 1) {
        rows.push_back({"time", "scan"});
        rows.back().insert(rows.back().end(), scan::kColumns.begin(), scan::kColumns.end());
    }
    for (const auto& value : values) {
        Cells row{when, std::to_string(scan)};
        const Cells cells = RowOf(value);
        row.insert(row.end(), cells.begin(), cells.end());
        rows.push_back(std::move(row));
    }
    console::AppendCsvRows(out, rows);
    return out;
}

}  // namespace poll
