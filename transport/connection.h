// Where the controller is and how to talk to it: a serial port and its line, or a TCP host that
// speaks Modbus TCP or passes the serial frames on (a serial device server), with the station, the
// time a reply may take and the tries a request gets.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "modbus/frame_mode.h"
#include "modbus/line_cost.h"

namespace transport {

// Data bits, parity ('N', 'E' or 'O') and stop bits, as "7E1" writes them.
struct LineFormat {
    unsigned data_bits = 7;
    char parity = 'E';
    unsigned stop_bits = 1;

    friend bool operator==(const LineFormat&, const LineFormat&) = default;
};

// "7E1".
std::string LineText(const LineFormat& line);

// An RS-485 adapter whose transmitter the port must switch: RTS raised `before` the first bit of a
// frame and kept `after` its last.
struct Rs485 {
    bool enabled = false;
    std::chrono::microseconds before{0};
    std::chrono::microseconds after{0};
};

// The controller's own defaults where nothing is said: Modbus ASCII at 9600 7E1, station 1.
struct Connection {
    bool tcp = false;
    // Over TCP: the frames are the serial line's in `mode`, as a serial device server passes them
    // on (RTU or ASCII over TCP), rather than Modbus TCP's.
    bool serial_frames = false;
    std::string port;  // a serial port: /dev/ttyUSB0, COM3
    modbus::FrameMode mode = modbus::FrameMode::Ascii;
    unsigned baud = 9600;
    LineFormat line;
    std::string host;  // over TCP
    std::uint16_t tcp_port = 502;
    std::uint8_t slave = 1;
    std::chrono::milliseconds timeout{1000};
    unsigned retries = 2;
    // How long the line is kept quiet before each request, for a slow station (in RTU at least the
    // silence that ends a frame, whatever this says).
    std::chrono::milliseconds pause{0};
    Rs485 rs485;  // on a serial port only
    bool verbose = false;
};

// Whether the frames carry Modbus TCP's header (a transaction number and a unit, no checksum)
// rather than a serial line's framing.
inline bool ModbusTcpFrames(const Connection& connection) noexcept {
    return connection.tcp && !connection.serial_frames;
}

// The controller's time from a request's end to its reply's start that a plan assumes where none
// was measured or said.
inline constexpr std::chrono::milliseconds kDefaultReplyDelay{10};

// What a read costs on `connection`: its characters at the line's baud rate, data bits, parity,
// stop bits and framing, and `reply_delay` before the controller answers; over Modbus TCP
// `reply_delay` alone, as the round trip. Through a serial device server the frames still cross a
// serial line, whose settings are the device server's: taken as the controller's defaults.
modbus::LineCost LineCostFor(const Connection& connection,
                             std::chrono::milliseconds reply_delay = kDefaultReplyDelay) noexcept;

// "192.168.1.5:502", "[::1]:1502".
std::string HostText(const Connection& connection);

// "/dev/ttyUSB0 (ascii, 9600 7E1, slave 1)", "127.0.0.1:502 (tcp, unit 1)",
// "192.168.1.5:4001 (rtu over tcp, slave 1)".
std::string ConnectionText(const Connection& connection);

}  // namespace transport
