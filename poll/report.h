// What zentriq-poll prints: one row per device entry with its value, as a table for a person or
// as CSV and JSON for programs; and, for a watch, a table redrawn in place on a terminal or rows
// with the time of each scan for a log.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "poll/options.h"
#include "scan/scanner.h"

namespace poll {

// A scan's rows in `format`: a table (its empty columns left out), CSV with a header, or one JSON
// array. `writes`: a write's read-back, with the value written in a column of its own before the
// value read, and a note where they differ.
std::string ScanText(Format format, std::span<const scan::DeviceValue> values, bool writes = false);

// A scan's rows as cells, the header first, every column kept: for a spreadsheet.
std::vector<std::vector<std::string>> ScanRows(std::span<const scan::DeviceValue> values);

// What to check when a scan ended at a request the controller did not answer: the settings and
// the cable when nothing came at all, a longer --timeout when a late reply came. Empty when the
// line failed, since the failure itself says why.
std::string ScanEndHint(const transport::Connection& connection, const scan::ScanEnd& end);

// A time as a log writes it: "2026-12-08T10:41:07.123", local time.
std::string TimeText(std::chrono::system_clock::time_point time);

// `body` (whole lines) drawn over the `lines_drawn` lines a terminal shows from the last time, each
// line cleared to its end and what stood below cleared too; `lines_drawn` becomes body's lines.
std::string DrawnOver(std::string_view body, std::size_t& lines_drawn);

// One watch's output, scan after scan.
class WatchReport {
  public:
    // `redraw`: a terminal, where the table is drawn over the last one; otherwise rows for a log.
    WatchReport(Format format, bool redraw, std::string connection);

    // The text to write after scan number `scan`, taken at `time`.
    std::string After(std::uint64_t scan, std::chrono::system_clock::time_point time,
                      std::span<const scan::DeviceValue> values, std::size_t failed_requests);

  private:
    std::string Redrawn(std::uint64_t scan, std::chrono::system_clock::time_point time,
                        std::span<const scan::DeviceValue> values);
    std::string LogRows(std::uint64_t scan, std::chrono::system_clock::time_point time,
                        std::span<const scan::DeviceValue> values);

    Format format_;
    bool redraw_;
    std::string connection_;
    std::vector<std::optional<std::uint32_t>> previous_;  // each value's words, last scan
    std::size_t lines_drawn_ = 0;
    std::size_t errors_ = 0;
    std::optional<std::chrono::system_clock::time_point> last_good_;
};

}  // namespace poll
