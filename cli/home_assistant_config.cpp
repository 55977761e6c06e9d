#include "cli/home_assistant_config.h"

#include <algorithm>
#include <set>

#include "console/json_text.h"

namespace cli {

namespace {

using conversion::ModbusTable;
using conversion::ValueType;

const char* DataType(ValueType type) {
    switch (type) {
        case ValueType::I16:
            return "int16";
        case ValueType::U16:
            return "uint16";
        case ValueType::I32:
            return "int32";
        case ValueType::U32:
            return "uint32";
        case ValueType::F32:
            return "float32";
        case ValueType::Bool:
            break;
    }
    return "";
}

}  // namespace

std::optional<std::string> HomeAssistantRefuses(const transport::Connection& connection) {
    if (!connection.tcp || !connection.serial_frames ||
        connection.mode != modbus::FrameMode::Ascii) {
        return std::nullopt;
    }
    return "Home Assistant's Modbus integration has no ASCII over TCP (its hubs are serial, tcp, "
           "udp and rtuovertcp): set the controller and the device server to Modbus RTU and give "
           "--mode rtu, or have the device server pass Modbus TCP and leave --mode out";
}

std::string HomeAssistantConfig(const transport::Connection& connection,
                                std::span<const ConfigTag> tags) {
    const std::string station = std::to_string(connection.slave);
    // Home Assistant counts its timeout in whole seconds.
    const auto seconds = std::max<long long>(1, (connection.timeout.count() + 999) / 1000);
    std::string out =
        "# Written by zentriq-lookup: the controller's devices at their zero-based addresses.\n"
        "modbus:\n  - name: \"dvp\"\n";
    if (connection.tcp) {
        out += std::string("    type: ") + (connection.serial_frames ? "rtuovertcp" : "tcp") +
               "\n    host: " + console::QuotedText(connection.host) +
               "\n    port: " + std::to_string(connection.tcp_port) + "\n";
    } else {
        out += std::string("    type: serial\n    method: ") +
               (connection.mode == modbus::FrameMode::Ascii ? "ascii" : "rtu") +
               "\n    port: " + console::QuotedText(connection.port) +
               "\n    baudrate: " + std::to_string(connection.baud) +
               "\n    bytesize: " + std::to_string(connection.line.data_bits) +
               "\n    parity: " + std::string(1, connection.line.parity) +
               "\n    stopbits: " + std::to_string(connection.line.stop_bits) + "\n";
    }
    out += "    timeout: " + std::to_string(seconds) + "\n";
    // An entity's name must be unique within its platform: a second of one name gets its device.
    std::set<std::string> taken;
    std::string sensors, binary_sensors, switches;
    for (const auto& tag : tags) {
        std::string name = tag.name;
        if (!taken.insert(name).second) {
            name += " " + conversion::DeviceName(tag.value.entry.device);
            taken.insert(name);
        }
        const std::string head =
            "      - name: " + console::QuotedText(name) + "\n        device_address: " + station +
            "\n        address: " + std::to_string(tag.value.entry.address) + "\n";
        if (tag.value.entry.table == ModbusTable::HoldingRegister) {
            sensors += head + "        input_type: holding\n        data_type: " +
                       DataType(tag.value.type) + "\n" +
                       (tag.value.high ? "        swap: word\n" : "");
        } else if (tag.writable) {
            switches += head + "        write_type: coil\n";
        } else {
            binary_sensors +=
                head + "        input_type: " +
                (tag.value.entry.table == ModbusTable::Coil ? "coil" : "discrete_input") + "\n";
        }
    }
    if (!sensors.empty()) {
        out += "    sensors:\n" + sensors;
    }
    if (!binary_sensors.empty()) {
        out += "    binary_sensors:\n" + binary_sensors;
    }
    if (!switches.empty()) {
        out += "    switches:\n" + switches;
    }
    return out;
}

}  // namespace cli
