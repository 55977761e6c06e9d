#include "cli/home_assistant_config.h"

#include <algorithm>
#include <map>
#include <set>

#include "console/json_text.h"
#include "modbus/line_cost.h"
#include "text/utf16.h"

namespace cli {

namespace {

using conversion::ModbusTable;
using conversion::ValueType;

// Below this Home Assistant logs that a scan_interval "may cause Home Assistant stability issues".
constexpr unsigned kLeastScanSeconds = 5;

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

const char* InputType(ModbusTable table) {
    switch (table) {
        case ModbusTable::Coil:
            return "coil";
        case ModbusTable::DiscreteInput:
            return "discrete_input";
        case ModbusTable::HoldingRegister:
            break;
    }
    return "holding";
}

// The request Home Assistant sends for one entity: its words or its one bit.
modbus::ReadRequest EntityRead(const ConfigTag& tag) {
    const auto& entry = tag.value.entry;
    return {scan::ReadCode(entry.table), entry.address,
            static_cast<std::uint16_t>(tag.value.high ? 2 : 1)};
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

std::vector<ConfigTag> HomeAssistantLoads(std::vector<ConfigTag> tags, const RefuseTag& refuse) {
    std::map<std::pair<ModbusTable, std::uint16_t>, std::size_t> first;
    std::vector<ConfigTag> loaded;
    loaded.reserve(tags.size());
    for (auto& tag : tags) {
        const auto& entry = tag.value.entry;
        const auto [at, fresh] = first.try_emplace({entry.table, entry.address}, loaded.size());
        if (!fresh) {
            const ConfigTag& taken = loaded[at->second];
            refuse(tag.line,
                   text::DisplayUtf8(tag.name) + ": " + conversion::DeviceName(entry.device) +
                       " is already read as " + text::DisplayUtf8(taken.name) +
                       (taken.line == 0 ? "" : " (line " + std::to_string(taken.line) + ")") +
                       ", and Home Assistant loads one entity an address: left out");
            continue;
        }
        loaded.push_back(std::move(tag));
    }
    return loaded;
}

std::string HomeAssistantConfig(const transport::Connection& connection,
                                std::span<const ConfigTag> tags, const ConfigSettings& settings) {
    const std::string station = std::to_string(connection.slave);
    // Home Assistant counts its timeout in whole seconds.
    const auto seconds = std::max<long long>(1, (connection.timeout.count() + 999) / 1000);
    const modbus::LineCost cost = transport::LineCostFor(connection);
    std::chrono::nanoseconds line_time{0};
    for (const auto& tag : tags) {
        line_time += modbus::ReadTime(cost, EntityRead(tag));
    }
    const std::string scan = std::to_string(ConfigInterval(settings, line_time, kLeastScanSeconds));
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
        const auto& entry = tag.value.entry;
        const std::string address = std::to_string(entry.address);
        std::string head = "      - name: ";
        head.append(console::QuotedText(name))
            .append("\n        device_address: ")
            .append(station)
            .append("\n        address: ")
            .append(address)
            .append("\n        scan_interval: ")
            .append(scan)
            .append("\n");
        if (entry.table == ModbusTable::HoldingRegister) {
            const bool is_float = tag.value.type == ValueType::F32;
            sensors.append(head)
                .append("        input_type: holding\n        data_type: ")
                .append(DataType(tag.value.type))
                .append(tag.value.high ? "\n        swap: word" : "")
                .append("\n        precision: ")
                .append(std::to_string(is_float ? settings.precision : 0))
                .append("\n");
            if (!tag.unit.empty()) {
                sensors.append("        unit_of_measurement: ")
                    .append(console::QuotedText(tag.unit))
                    .append("\n");
            }
        } else if (tag.writable) {
            switches.append(head)
                .append("        write_type: coil\n        verify:\n          input_type: coil")
                .append("\n          address: ")
                .append(address)
                .append("\n");
        } else {
            binary_sensors += head + "        input_type: " + InputType(entry.table) + "\n";
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
