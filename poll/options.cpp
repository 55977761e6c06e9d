#include "poll/options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include "console/choice_option.h"

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
  zentriq-poll --port /dev/ttyUSB0 write D100=250 D101=-3 D102=0x00FA Y0=on M5=off
                      writes, then reads the devices back
  zentriq-poll --port /dev/ttyUSB0 --verbose read D100
                      every frame on standard error, as zentriq-lookup --frame reads it

Items: a device (D100, X17 with X and Y in octal, T5), a range of one letter (D100-D109, M0-M15,
X0-X17) or an address as zentriq-lookup reads it (0x1064, 404197, 4x4197). T and C give a contact
and a value; --table chooses one.
Assignments: a register takes 0 to 65535, -32768 to -1 or 0x0000 to 0xFFFF; a bit 1, 0, on or off.
X (inputs) cannot be written.
Exit status: 0 every device read (and written), 1 the controller answered some device with an
exception or not at all, 2 usage error or no connection (port missing, busy or not permitted;
host unreachable).)";

int UsageError(const std::string& message) {
    return console::Messages("zentriq-poll").UsageError(message);
}

using transport::Connection;
using transport::LineFormat;
using transport::LineText;

std::optional<LineFormat> ReadLineFormat(std::string_view text) {
    if (text.size() != 3) {
        return std::nullopt;
    }
    const char parity = text::ascii::Upper(text[1]);
    if ((text[0] != '7' && text[0] != '8') || (parity != 'N' && parity != 'E' && parity != 'O') ||
        (text[2] != '1' && text[2] != '2')) {
        return std::nullopt;
    }
    return LineFormat{static_cast<unsigned>(text[0] - '0'), parity,
                      static_cast<unsigned>(text[2] - '0')};
}

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT".
bool ReadHost(const std::string& text, Connection& connection) {
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return false;
            }
            port = text.substr(close + 2);
        }
    } else if (const auto colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty()) {
        return false;
    }
    connection.host = host;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(port) == 0 || std::stoul(port) > 65535) {
            return false;
        }
        connection.tcp_port = static_cast<std::uint16_t>(std::stoul(port));
    }
    return true;
}

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options) {
    CLI::App app{
        "Reads, watches and writes the devices of a DVP-series PLC by name, over a serial "
        "line (Modbus ASCII or RTU) or Modbus TCP.",
        "zentriq-poll"};
    app.allow_windows_style_options(false);  // only - and --: /dev/... is a port name
    app.footer(kExamples);
    app.set_version_flag("--version", "zentriq-poll " ZENTRIQ_VERSION);
    app.require_subcommand(0, 1);  // none is said below, in the tool's words
    Connection& connection = options.connection;
    std::string mode;
    std::string line;
    std::string host;
    std::string format = "table";
    unsigned slave = 1;
    unsigned timeout_ms = 1000;
    auto* port = app.add_option("--port", connection.port, "The serial port: /dev/ttyUSB0, COM3")
                     ->type_name("DEVICE");
    auto* tcp = app.add_option("--host", host,
                               "Modbus TCP: the controller's address, port 502 "
                               "unless given")
                    ->type_name("HOST[:PORT]");
    port->excludes(tcp);
    auto* mode_option = app.add_option("--mode", mode, "On a serial port: ascii (default) or rtu")
                            ->check(CLI::IsMember({"ascii", "rtu"}))
                            ->needs(port);
    app.add_option("--baud", connection.baud, "On a serial port: bits per second (default 9600)")
        ->check(CLI::Range(50U, 4000000U))
        ->needs(port);
    auto* line_option = app.add_option("--line", line,
                                       "On a serial port: data bits, parity, stop bits (default "
                                       "7E1 in ascii mode, 8E1 in rtu mode)")
                            ->type_name("7E1|8E1|8N1|...")
                            ->needs(port);
    app.add_option("--slave", slave, "The controller's station address (default 1)")
        ->check(CLI::Range(1U, 247U));
    app.add_option("--timeout", timeout_ms,
                   "How long to wait for each answer, in ms (default 1000)")
        ->check(CLI::Range(10U, 600000U));
    app.add_option("--retries", connection.retries,
                   "How often to ask again when no sound answer came (default 2)")
        ->check(CLI::Range(0U, 100U));
    console::AddChoiceOption(app, "--table", options.table,
                             "Read one table only, so that a T or C gives one row: coil (c), "
                             "discrete-input (di) or holding-register (hr)",
                             conversion::kTableWords);
    console::AddChoiceOption(app, "--numbers", options.numbers,
                             "How bare numbers (1064, 45056) are meant: hex, decimal addresses "
                             "or references. Without it each is read every way, and write "
                             "refuses one that can be meant more than one way",
                             conversion::kNumbersWords);
    app.add_option("--format", format, "Output: table (default), csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    app.add_flag("--verbose,-v", connection.verbose,
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
    watch->footer(
        "--interval SECONDS and --count N set how often and how many times: see "
        "zentriq-poll --help.");
    try {
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend() - 1));
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code() == 0 ? app.exit(e) : UsageError(e.what());
    }

    if (app.get_subcommands().empty()) {
        return UsageError(
            "say what to do: read, watch or write, then the devices (read D100 M0-M15)");
    }
    if (options.items.empty()) {
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
    if (port->count() == 0 && tcp->count() == 0) {
        return UsageError(
            "say where the controller is: --port DEVICE (serial) or --host HOST "
            "(Modbus TCP)");
    }
    if (port->count() > 0 && connection.port.empty()) {
        return UsageError("--port: give the serial port's name, such as /dev/ttyUSB0 or COM3");
    }
    connection.tcp = tcp->count() > 0;
    if (connection.tcp && !ReadHost(host, connection)) {
        return UsageError("--host " + host +
                          ": give a host name or address, and a port from 1 to "
                          "65535 after a colon if not 502");
    }
    if (mode_option->count() > 0 && mode == "rtu") {
        connection.mode = modbus::FrameMode::Rtu;
        connection.line = LineFormat{8, 'E', 1};
    }
    if (line_option->count() > 0) {
        const auto read_line = ReadLineFormat(line);
        if (!read_line) {
            return UsageError("--line " + line +
                              ": write data bits (7 or 8), parity (N, E or O) "
                              "and stop bits (1 or 2), such as 7E1 or 8N1");
        }
        connection.line = *read_line;
    }
    if (connection.mode == modbus::FrameMode::Rtu && connection.line.data_bits != 8) {
        return UsageError("--line " + LineText(connection.line) +
                          ": Modbus RTU needs 8 data bits (such as 8E1 or 8N1)");
    }
    connection.slave = static_cast<std::uint8_t>(slave);
    connection.timeout = std::chrono::milliseconds(timeout_ms);
    options.interval = std::chrono::milliseconds(std::llround(interval_s * 1000.0));
    if (count_option->count() > 0) {
        options.count = count;
    }
    options.format = format == "csv"    ? Format::Csv
                     : format == "json" ? Format::Json
                                        : Format::Table;
    return std::nullopt;
}

}  // namespace poll
