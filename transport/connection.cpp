#include "transport/connection.h"

namespace transport {

std::string LineText(const LineFormat& line) {
    return std::to_string(line.data_bits) + line.parity + std::to_string(line.stop_bits);
}

std::string HostText(const Connection& connection) {
    const bool ipv6 = connection.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + connection.host + "]" : connection.host) + ":" +
           std::to_string(connection.tcp_port);
}

std::string ConnectionText(const Connection& connection) {
    if (connection.serial_frames && connection.tcp) {
        return HostText(connection) + " (" + std::string(modbus::ModeName(connection.mode)) +
               " over tcp, slave " + std::to_string(connection.slave) + ")";
    }
    if (connection.tcp) {
        return HostText(connection) + " (tcp, unit " + std::to_string(connection.slave) + ")";
    }
    return connection.port + " (" + std::string(modbus::ModeName(connection.mode)) + ", " +
           std::to_string(connection.baud) + " " + LineText(connection.line) + ", slave " +
           std::to_string(connection.slave) + ")";
}

modbus::LineCost LineCostFor(const Connection& connection,
                             std::chrono::milliseconds reply_delay) noexcept {
    if (ModbusTcpFrames(connection)) {
        return {.mode = std::nullopt, .reply_delay = reply_delay};
    }
    const LineFormat& line = connection.line;
    return {connection.mode, connection.baud,
            modbus::CharacterBits(line.data_bits, line.parity, line.stop_bits), reply_delay};
}

}  // namespace transport
