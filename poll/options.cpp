#include "poll/options.h"

#include <CLI/CLI.hpp>

#include "console/command_line.h"

#include <cmath>
#include "console/choice_option.h"
#include "console/connection_options.h"
#include "console/tag_list_input.h"

#include "console/program.h"
#include "text/ascii_text.h"

namespace poll {

namespace {

constexpr const char* kExamples = R"(Examples:
  zentriq-poll --port /dev/ttyUSB0 read D100 M0-M15 X0-X17 T5 C200
                      the devices once, as the controller holds them now (Modbus ASCII, 9600
                      baud, 7E1, slave 1: the controller's own defaults)
  zentriq-poll --port COM3 --mode rtu --baud 19200 --line 8E1 read D0-D99
  zentriq-poll --host 192.168.1.5 watch D100-D109 Y0-Y7 --interval 0.5
                      read again and again: a table redrawn in place, changed values marked
  zentriq-poll --host 192.168.1.5 watch D100 --format csv >> d100.log
                      one row per device per scan, with its time, for a log
  zentriq-poll --host 192.168.1.20:4001 --mode rtu read D100-D109
                      through a serial device server that passes the RTU frames on over TCP
  zentriq-poll --port /dev/ttyUSB0 write D100=250 D101=-3 D102=0x00FA Y0=on M5=off
                      writes, then reads the devices back
  zentriq-poll --port /dev/ttyUSB0 read D200:f32 D202:i32 D210-D219:f32
                      32-bit values, the low word at the lower address
  zentriq-poll --port /dev/ttyUSB0 write D200:f32=21.5 --verify
  zentriq-poll --port /dev/ttyUSB0 read --batch tags.csv --header --column Device
                      the tag list's rows with their live values appended
  zentriq-poll --host 192.168.1.5 watch D100-D109 --format influx --interval 10
                      InfluxDB line protocol, for a time-series engine
  zentriq-poll --port /dev/ttyUSB0 --verbose read D100
                      every frame on standard error, as zentriq-lookup --frame reads it
  zentriq-poll --port /dev/ttyUSB0 read D100-D109 D120 M0-M15 --plan
                      the requests a scan sends and the time it should take; nothing is sent

Items: a device (D100, X17 with X and Y in octal, T5), a range of one letter (D100-D109, M0-M15,
X0-X17) or an address as zentriq-lookup reads it (0x1064, 404197, 4x4197). T and C give a contact
and a value; --table chooses one.
Assignments: a register takes 0 to 65535, -32768 to -1 or 0x0000 to 0xFFFF; a bit 1, 0, on or off.
X (inputs) cannot be written.
Exit status: 0 every device read (and written), 1 the controller answered some device with an
exception or not at all, 2 usage error or no connection (port missing, busy or not permitted;
host unreachable).)";

// What each --format word chooses: the text format, or InfluxDB's lines, or a spreadsheet.
struct OutputChoice {
    Format format = Format::Table;
    bool influx = false;
    bool xlsx = false;
};

struct FormatWord {
    const char* word;
    OutputChoice chosen;
};

const FormatWord kFormatWords[] = {
    {"table", {Format::Table, false, false}}, {"csv", {Format::Csv, false, false}},
    {"json", {Format::Json, false, false}},   {"influx", {Format::Table, true, false}},
    {"xlsx", {Format::Table, false, true}},
};

int UsageError(const std::string& message) {
    return console::Messages("zentriq-poll").UsageError(message);
}

using console::ConnectionOptions;

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options) {
    CLI::App app{
        "Reads, watches and writes the devices of a DVP-series PLC by name, over a serial "
        "line (Modbus ASCII or RTU) or Modbus TCP.",
        "zentriq-poll"};
    console::SetUpCommandLine(app, kExamples, "zentriq-poll " ZENTRIQ_VERSION);
    app.require_subcommand(0, 1);  // none is said below, in the tool's words
    ConnectionOptions where(app, true);
    OutputChoice chosen;
    console::AddChoiceOption(app, "--table", options.table,
                             "Read one table only, so that a T or C gives one row: coil (c), "
                             "discrete-input (di) or holding-register (hr)",
                             conversion::kTableWords);
    console::AddChoiceOption(app, "--numbers", options.numbers,
                             "How bare numbers (1064, 45056) are meant: hex, decimal addresses "
                             "or references. Without it each is read every way, and write "
                             "refuses one that can be meant more than one way",
                             conversion::kNumbersWords);
    auto* format_option =
        console::AddChoiceOption(app, "--format", chosen,
                                 "Output: table (default), csv, json, influx (InfluxDB line "
                                 "protocol); for read also xlsx (with --output)",
                                 kFormatWords);
    app.add_flag(
        "--stats", options.stats,
        "At the end, the line's counters on standard error: requests, retries, "
        "timeouts, checksum errors, exceptions, answer time, scans per second, the reply delay "
        "measured and the plan it would give (a watch "
        "on a terminal always; SIGUSR1 asks a watch for them meanwhile)");
    auto* output_option = app.add_option("--output", options.output,
                                         "With --format xlsx: the spreadsheet file to write")
                              ->type_name("FILE");
    std::string batch;
    auto* batch_option =
        app.add_option("--batch", batch,
                       "read, watch: a tag list (CSV as exported, - for standard input) whose "
                       "rows name the devices; each row written back with value and error "
                       "columns")
            ->type_name("FILE");
    app.add_option("--column", options.columns.device,
                   "In --batch, the column of the devices: its number from 1 (default 1), or "
                   "with --header its name")
        ->needs(batch_option);
    app.add_flag("--header", options.columns.header,
                 "In --batch, the first row names the columns and is passed through")
        ->needs(batch_option);
    app.add_option("--type-column", options.columns.type,
                   "In --batch, the column of the value types (bool, switch, i16, u16, i32, u32, "
                   "f32, or IEC names such as INT, DINT and REAL), by number or with --header by "
                   "name")
        ->needs(batch_option);
    std::string delimiter;
    console::AddDelimiterOption(app, delimiter)->needs(batch_option);
    bool verbose = false;
    app.add_flag("--verbose,-v", verbose,
                 "Show every frame sent (>) and received (<) on standard error");

    auto* read = app.add_subcommand("read", "Read the devices once and print them");
    auto* watch = app.add_subcommand("watch", "Read the devices again and again until Ctrl-C");
    auto* write = app.add_subcommand("write", "Write values, then read the devices back");
    double interval_s = 1.0;
    std::uint64_t count = 0;
    for (auto* command : {read, watch}) {
        command->add_option("items", options.items, "Devices, ranges or addresses");
        command->fallthrough();
    }
    write->add_option("assignments", options.items, "DEVICE=VALUE: D100=250, Y0=on");
    write->fallthrough();
    // On the main command line, so that the main --help shows them; they may come after watch
    // all the same, as every option may.
    auto* interval_option = app.add_option("--interval", interval_s,
                                           "watch: seconds from one scan to the next (default 1)")
                                ->check(CLI::Range(0.0, 86400.0));
    auto* count_option = app.add_option("--count", count, "watch: stop after N scans")
                             ->check(CLI::Range(1U, UINT32_MAX));
    bool single = false;
    bool multiple = false;
    auto* single_option = app.add_flag("--single", single,
                                       "write: one device a request, by 05 or 06 (for devices and "
                                       "gateways that take no other)");
    auto* multiple_option = app.add_flag("--multiple", multiple,
                                         "write: by 15 or 16 even for one device (for those that "
                                         "take only these)");
    single_option->excludes(multiple_option);
    auto* verify_option = app.add_flag("--verify", options.verify,
                                       "write: a device that reads back other than written is an "
                                       "error (exit 1)");
    app.add_flag("--plan", options.plan,
                 "read, watch: show the requests a scan sends and the time it should take, "
                 "without opening the line");
    auto reply_delay_ms = static_cast<unsigned>(transport::kDefaultReplyDelay.count());
    app.add_option("--reply-delay", reply_delay_ms,
                   "Milliseconds the controller takes to answer a request (over TCP, the round "
                   "trip), that the scan's plan weighs each request by (default 10)")
        ->check(CLI::Range(0U, 60000U));
    watch->footer(
        "--interval SECONDS and --count N set how often and how many times, --plan shows the "
        "scan's requests: see zentriq-poll --help.");
    if (auto status =
            console::ParseCommandLine(app, arguments, console::Messages("zentriq-poll"))) {
        return status;
    }

    if (app.get_subcommands().empty()) {
        return UsageError(
            "say what to do: read, watch or write, then the devices (read D100 M0-M15)");
    }
    if (batch_option->count() > 0) {
        if (write->parsed()) {
            return UsageError("--batch is for read and watch: write takes DEVICE=VALUE");
        }
        if (!options.items.empty()) {
            return UsageError("give the devices on the command line or in --batch, not both");
        }
        options.batch = batch;
        options.columns.delimiter = console::DelimiterOf(delimiter);
        const bool numbered =
            options.columns.device.find_first_not_of("0123456789") == std::string::npos;
        if (!numbered && !options.columns.header) {
            return UsageError("--column " + options.columns.device +
                              ": a column is named only with --header");
        }
    } else if (options.items.empty()) {
        return UsageError(write->parsed() ? "write: give DEVICE=VALUE, such as D100=250 or Y0=on"
                                          : app.get_subcommands().front()->get_name() +
                                                ": give the devices, such as D100 M0-M15 X0-X17");
    }
    options.command = watch->parsed()   ? Command::Watch
                      : write->parsed() ? Command::Write
                                        : Command::Read;
    if (!watch->parsed() && (interval_option->count() > 0 || count_option->count() > 0)) {
        return UsageError(std::string(interval_option->count() > 0 ? "--interval" : "--count") +
                          " is for watch: it repeats the scan, read and write run once");
    }
    for (const auto* write_only : {single_option, multiple_option, verify_option}) {
        if (!write->parsed() && write_only->count() > 0) {
            return UsageError(write_only->get_name() + " is for write");
        }
    }
    options.write_codes = single     ? scan::WriteCodes::Single
                          : multiple ? scan::WriteCodes::Multiple
                                     : scan::WriteCodes::Fewest;
    if (options.plan && write->parsed()) {
        return UsageError(
            "--plan is for read and watch: write sends its requests as it plans them");
    }
    options.reply_delay = std::chrono::milliseconds(reply_delay_ms);
    auto connection = where.Connection();
    if (auto* failure = std::get_if<text::Failure>(&connection)) {
        return UsageError(failure->message);
    }
    options.connection = std::get<transport::Connection>(std::move(connection));
    options.connection.verbose = verbose;
    options.interval = std::chrono::milliseconds(std::llround(interval_s * 1000.0));
    if (count_option->count() > 0) {
        options.count = count;
    }
    options.format = chosen.format;
    options.xlsx = chosen.xlsx;
    options.influx = chosen.influx;
    if (options.influx && write->parsed()) {
        return UsageError("--format influx is for read and watch");
    }
    if (options.xlsx && (!read->parsed() || output_option->count() == 0)) {
        return UsageError("--format xlsx is for read, with --output FILE");
    }
    if (!options.xlsx && output_option->count() > 0) {
        return UsageError("--output is for --format xlsx: the other formats go to standard output");
    }
    if (options.batch && (options.format == Format::Json || options.influx)) {
        return UsageError("--batch writes the list's rows as CSV (or xlsx for read): --format " +
                          format_option->as<std::string>() + " is for devices on the command line");
    }
    return std::nullopt;
}

}  // namespace poll
