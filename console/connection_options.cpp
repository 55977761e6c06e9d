#include "console/connection_options.h"

#include <chrono>
#include <optional>
#include <string_view>

#include "text/ascii_text.h"

namespace console {

namespace {

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

text::Failure UsageError(std::string message) {
    return text::Failure{std::move(message)};
}

}  // namespace

std::optional<HostAndPort> ReadHostAndPort(const std::string& text, std::uint16_t default_port,
                                           bool any_port) {
    HostAndPort read{text, default_port};
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            return std::nullopt;
        }
        read.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return std::nullopt;
            }
            port = text.substr(close + 2);
        }
    } else if (const auto colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        read.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (read.host.empty()) {
        return std::nullopt;
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(port) > 65535 || (std::stoul(port) == 0 && !any_port)) {
            return std::nullopt;
        }
        read.port = static_cast<std::uint16_t>(std::stoul(port));
    }
    return read;
}

ConnectionOptions::ConnectionOptions(CLI::App& app, bool exchange, bool tcp) {
    port_option_ = app.add_option("--port", connection_.port, "The serial port: /dev/ttyUSB0, COM3")
                       ->type_name("DEVICE");
    if (tcp) {
        host_option_ = app.add_option("--host", host_,
                                      "Modbus TCP, or with --mode a serial device server: the "
                                      "address, port 502 unless given")
                           ->type_name("HOST[:PORT]");
        port_option_->excludes(host_option_);
    }
    mode_option_ = app.add_option("--mode", mode_,
                                  tcp ? "On a serial port: ascii (default) or rtu. With --host: "
                                        "the serial frames over TCP (a serial device server), "
                                        "not Modbus TCP"
                                      : "ascii (default) or rtu")
                       ->check(CLI::IsMember({"ascii", "rtu"}));
    if (!tcp) {
        mode_option_->needs(port_option_);
    }
    app.add_option("--baud", connection_.baud, "On a serial port: bits per second (default 9600)")
        ->check(CLI::Range(50U, 4000000U))
        ->needs(port_option_);
    line_option_ = app.add_option("--line", line_,
                                  "On a serial port: data bits, parity, stop bits (default "
                                  "7E1 in ascii mode, 8E1 in rtu mode)")
                       ->type_name("7E1|8E1|8N1|...")
                       ->needs(port_option_);
    app.add_option("--slave", slave_, "The controller's station address (default 1)")
        ->check(CLI::Range(1U, 247U));
    if (exchange) {
        app.add_option("--timeout", timeout_ms_,
                       "How long to wait for each answer, in ms (default 1000)")
            ->check(CLI::Range(10U, 600000U));
        app.add_option("--retries", connection_.retries,
                       "How often to ask again when no sound answer came (default 2)")
            ->check(CLI::Range(0U, 100U));
        auto* rs485 = app.add_flag("--rs485", connection_.rs485.enabled,
                                   "An RS-485 adapter whose transmitter the port switches: the "
                                   "kernel's RS-485 mode where the driver has it, else RTS "
                                   "raised around each request")
                          ->needs(port_option_);
        app.add_option("--rts-before", rts_before_ms_,
                       "With --rs485, RTS raised this long before a frame's first bit, in ms "
                       "(default 0)")
            ->type_name("MS")
            ->check(CLI::Range(0U, 1000U))
            ->needs(rs485);
        app.add_option("--rts-after", rts_after_ms_,
                       "With --rs485, RTS kept this long after a frame's last bit, in ms (default "
                       "0)")
            ->type_name("MS")
            ->check(CLI::Range(0U, 1000U))
            ->needs(rs485);
        app.add_option("--pause", pause_ms_,
                       "The line kept quiet this long, in ms, before each request, for a slow "
                       "station (default 0; in RTU at least the silence of 3.5 characters)")
            ->type_name("MS")
            ->check(CLI::Range(0U, 60000U));
    }
}

bool ConnectionOptions::given() const {
    return port_option_->count() > 0 || host_given() || mode_option_->count() > 0;
}

bool ConnectionOptions::host_given() const {
    return host_option_ != nullptr && host_option_->count() > 0;
}

text::Result<transport::Connection> ConnectionOptions::Connection() const {
    transport::Connection connection = connection_;
    if (port_option_->count() == 0 && !host_given()) {
        return UsageError(host_option_ == nullptr
                              ? "say which serial port the controller is on: --port DEVICE"
                              : "say where the controller is: --port DEVICE (serial) or --host "
                                "HOST (Modbus TCP)");
    }
    if (port_option_->count() > 0 && connection.port.empty()) {
        return UsageError("--port: give the serial port's name, such as /dev/ttyUSB0 or COM3");
    }
    connection.tcp = host_given();
    if (connection.tcp) {
        const auto host = ReadHostAndPort(host_, connection.tcp_port, false);
        if (!host) {
            return UsageError("--host " + host_ +
                              ": give a host name or address, and a port from 1 to "
                              "65535 after a colon if not 502");
        }
        connection.host = host->host;
        connection.tcp_port = host->port;
    }
    connection.serial_frames = connection.tcp && mode_option_->count() > 0;
    if (mode_option_->count() > 0 && mode_ == "rtu") {
        connection.mode = modbus::FrameMode::Rtu;
        connection.line = LineFormat{8, 'E', 1};
    }
    if (line_option_->count() > 0) {
        const auto read_line = ReadLineFormat(line_);
        if (!read_line) {
            return UsageError("--line " + line_ +
                              ": write data bits (7 or 8), parity (N, E or O) "
                              "and stop bits (1 or 2), such as 7E1 or 8N1");
        }
        connection.line = *read_line;
    }
    if (connection.mode == modbus::FrameMode::Rtu && connection.line.data_bits != 8) {
        return UsageError("--line " + LineText(connection.line) +
                          ": Modbus RTU needs 8 data bits (such as 8E1 or 8N1)");
    }
    connection.slave = static_cast<std::uint8_t>(slave_);
    connection.timeout = std::chrono::milliseconds(timeout_ms_);
    connection.pause = std::chrono::milliseconds(pause_ms_);
    connection.rs485.before = std::chrono::milliseconds(rts_before_ms_);
    connection.rs485.after = std::chrono::milliseconds(rts_after_ms_);
    return connection;
}

}  // namespace console
