// Opening a serial port for a link: one program at a time, set to the connection's baud rate and
// line, every setting read back.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/serial_port.hpp>
#include <memory>
#include <optional>
#include <string>

#include "text/failure.h"
#include "transport/connection.h"
#include "transport/rs485.h"

namespace transport {

// Opens `connection.port` into `port` and sets its line: none when the port took every setting,
// else one line saying what failed or what the port refused, the port closed again ("cannot open
// COM3: it is in use by another program", "/dev/ttyS0 refused 7 data bits and even parity: ...").
std::optional<text::Failure> OpenSerialPort(boost::asio::serial_port& port,
                                            const Connection& connection);

// The control lines of an open `port`, for --rs485.
std::unique_ptr<DirectionControl> PortDirectionControl(boost::asio::serial_port& port);

}  // namespace transport
