// The options that say where the controller is and how to talk to it, alike in every program:
// --port with --mode, --baud and --line, or --host, with --mode for a serial device server's
// frames over TCP; --slave; and, for a program that talks to the line itself, --timeout and
// --retries. The controller's own defaults where nothing is said.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>

#include "text/failure.h"
#include "transport/connection.h"

namespace console {

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT": the port `default_port` when none is given, and
// port 0 only when `any_port` (a listener's "any free port"). None when the text is none of these.
struct HostAndPort {
    std::string host;
    std::uint16_t port = 0;
};
std::optional<HostAndPort> ReadHostAndPort(const std::string& text, std::uint16_t default_port,
                                           bool any_port);

class ConnectionOptions {
  public:
    // Adds the options to `app`; `exchange`: --timeout and --retries too; `tcp`: --host too, else
    // the controller is on a serial port.
    ConnectionOptions(CLI::App& app, bool exchange, bool tcp = true);
    ConnectionOptions(const ConnectionOptions&) = delete;
    ConnectionOptions& operator=(const ConnectionOptions&) = delete;

    // Whether --port, --host or --mode was given.
    bool given() const;
    bool host_given() const;
    // Once parsed: the connection, or the usage error that says what is wrong ("say where the
    // controller is: ..." when neither --port nor --host was given).
    text::Result<transport::Connection> Connection() const;

  private:
    transport::Connection connection_;
    std::string mode_;
    std::string line_;
    std::string host_;
    unsigned slave_ = 1;
    unsigned timeout_ms_ = 1000;
    unsigned pause_ms_ = 0;
    unsigned rts_before_ms_ = 0;
    unsigned rts_after_ms_ = 0;
    CLI::Option* port_option_;
    CLI::Option* host_option_ = nullptr;
    CLI::Option* mode_option_;
    CLI::Option* line_option_;
};

}  // namespace console
