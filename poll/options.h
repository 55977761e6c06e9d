// The command line of zentriq-poll, parsed once into what to ask the controller and how to reach
// it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/program.h"
#include "conversion/device_map.h"
#include "poll/tag_list.h"
#include "scan/write_plan.h"
#include "transport/connection.h"

namespace poll {

enum class Command { Read, Watch, Write };
using console::Format;

struct Options {
    Command command = Command::Read;
    std::vector<std::string> items;  // items to read, or assignments to write
    transport::Connection connection;
    std::optional<conversion::ModbusTable> table;
    conversion::BareNumbers numbers = conversion::BareNumbers::Any;
    Format format = Format::Table;
    std::chrono::milliseconds interval{1000};
    std::optional<std::uint64_t> count;  // scans of a watch; none: until Ctrl-C
    bool xlsx = false;                   // read: a spreadsheet written to `output`
    bool influx = false;                 // InfluxDB line protocol
    bool stats = false;                  // the line's counters on standard error at the end
    std::string output;                  // the file of --output
    std::optional<std::string> batch;    // a tag list's file: its rows are the items
    taglist::TagColumns columns;
    scan::WriteCodes write_codes = scan::WriteCodes::Fewest;
    bool verify = false;  // a write that reads back other than written is an error
    // The controller's time to answer a request (over TCP, the round trip), that the scan plan
    // weighs each request by.
    std::chrono::milliseconds reply_delay{10};
    bool plan = false;  // show the scan's requests and its predicted time; nothing is sent
};

// Parses `arguments` (the program's name first) into `options`. Gives an exit status when the run
// ends here: 0 after --help or --version, 2 after a usage error, said on standard error.
std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options);

}  // namespace poll
