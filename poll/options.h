// The command line of zentriq-poll, parsed once into what to ask the controller and how to reach
// it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversion/device_map.h"
#include "modbus/frame_text.h"

namespace live {

enum class Command { Read, Watch, Write };
enum class Format { Table, Csv, Json };

// Data bits, parity ('N', 'E' or 'O') and stop bits, as "7E1" writes them.
struct LineFormat {
    unsigned data_bits = 7;
    char parity = 'E';
    unsigned stop_bits = 1;

    friend bool operator==(const LineFormat&, const LineFormat&) = default;
};

// "7E1".
std::string LineText(const LineFormat& line);

// Where the controller is and how to talk to it.
struct Connection {
    bool tcp = false;
    std::string port;  // a serial port: /dev/ttyUSB0, COM3
    modbus::FrameMode mode = modbus::FrameMode::Ascii;
    unsigned baud = 9600;
    LineFormat line;
    std::string host;  // Modbus TCP
    std::uint16_t tcp_port = 502;
    std::uint8_t slave = 1;
    std::chrono::milliseconds timeout{1000};
    unsigned retries = 2;
    bool verbose = false;
};

// "192.168.1.5:502", "[::1]:1502".
std::string HostText(const Connection& connection);

// "/dev/ttyUSB0 (ascii, 9600 7E1, slave 1)", "127.0.0.1:502 (tcp, unit 1)".
std::string ConnectionText(const Connection& connection);

struct Options {
    Command command = Command::Read;
    std::vector<std::string> items;  // items to read, or assignments to write
    Connection connection;
    std::optional<conversion::ModbusTable> table;
    conversion::BareNumbers numbers = conversion::BareNumbers::Any;
    Format format = Format::Table;
    std::chrono::milliseconds interval{1000};
    std::optional<std::uint64_t> count;  // scans of a watch; none: until Ctrl-C
};

// Parses `arguments` (the program's name first) into `options`. Gives an exit status when the run
// ends here: 0 after --help or --version, 2 after a usage error, said on standard error.
std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options);

}  // namespace live
