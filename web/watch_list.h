// What the console watches: the items typed in a page ("D100 M0-M15 D200:f32 X17", bare numbers
// read as zentriq-poll reads them) or a dropped tag list, planned into the fewest reads once, and
// each value's last reading with its age. The scan is stepped by the caller, which sends the
// requests through the gateway's queue as one more client: nothing here waits or touches a line.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/line_cost.h"
#include "scan/asked_values.h"
#include "scan/scanner.h"
#include "text/failure.h"

namespace web {

using Clock = std::chrono::steady_clock;

// The most values watched at once: each is a trend line too, and one scan of 100 scattered
// devices already holds a 9600 baud line for seconds.
inline constexpr std::size_t kMostWatched = 100;

// A watched value as a page shows it.
struct WatchedValue {
    std::string device;  // as asked: "D100", "D200:f32"
    std::string name;    // from a tag list's name column
    std::string table;
    std::string address;    // as zentriq-poll writes it: "1064"
    std::string reference;  // the six-digit reference SCADA tag lists use: "404197"
    std::string value;      // empty while there is none
    std::string hex;
    std::string note;
    std::string error;                             // why there is no value
    std::optional<std::chrono::milliseconds> age;  // since it was last read; none if never
    std::optional<double> number;                  // for the trend: none without a value
};

// "404197", "000001": an entry's reference in six digits, as tag lists write it.
std::string ReferenceText(conversion::ModbusTable table, std::uint16_t address);

class WatchList {
  public:
    explicit WatchList(modbus::LineCost cost) : cost_(cost) {}

    // Watches `items` from now on, or says why not (the list in force is kept). `notes` hears how
    // each bare number was read.
    std::optional<text::Failure> Watch(const std::vector<std::string>& items,
                                       std::vector<std::string>& notes);
    // Watches the devices of a CSV tag list, their names beside them: the columns are found by
    // name in a header (Device, Name or Tag, Type), else the device is the first column.
    std::optional<text::Failure> WatchTagList(std::string_view csv,
                                              std::vector<std::string>& notes);

    bool empty() const noexcept { return asked_.empty(); }
    // The items as typed, or each tag list row's device and type.
    const std::vector<std::string>& items() const noexcept { return items_; }
    // One series per value, named as the device column shows it.
    std::vector<std::string> Series() const;

    // One scan, stepped as scan::Scanner is.
    void Begin();
    const modbus::ReadRequest* Next() const;
    void Take(const transport::Outcome& outcome, std::chrono::nanoseconds took,
              Clock::time_point now);

    std::vector<WatchedValue> Values(Clock::time_point now) const;

  private:
    std::optional<text::Failure> Replace(std::vector<scan::AskedValue> asked,
                                         std::vector<std::string> names,
                                         std::vector<std::string> items);

    modbus::LineCost cost_;
    std::vector<std::string> items_;
    std::vector<scan::AskedValue> asked_;
    std::vector<std::string> names_;  // one per asked value
    std::optional<scan::Scanner> scanner_;
    std::vector<std::optional<Clock::time_point>> read_at_;  // one per asked value
};

}  // namespace web
