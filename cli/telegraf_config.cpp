#include "cli/telegraf_config.h"

#include <array>
#include <set>
#include <vector>

#include "console/json_text.h"
#include "text/ascii_text.h"

namespace cli {

namespace {

using conversion::ModbusTable;
using conversion::ValueType;

// A field name as every line-protocol consumer takes it without quoting: letters, digits and _.
std::string FieldName(const std::string& name) {
    std::string safe;
    for (const char c : name) {
        safe += text::ascii::IsAlnum(c) ? c : '_';
    }
    return safe.empty() ? "tag" : safe;
}

const char* TypeWord(ValueType type) {
    switch (type) {
        case ValueType::I16:
            return "INT16";
        case ValueType::U16:
            return "UINT16";
        case ValueType::I32:
            return "INT32";
        case ValueType::U32:
            return "UINT32";
        case ValueType::F32:
            return "FLOAT32";
        case ValueType::Bool:
            break;
    }
    return "";
}

std::string Controller(const transport::Connection& connection) {
    if (connection.tcp) {
        return "tcp://" + transport::HostText(connection);
    }
    // Telegraf names a Windows port as it is (COM3), any other as a file URL.
    const bool windows_port = connection.port.rfind("COM", 0) == 0;
    return windows_port ? connection.port : "file://" + connection.port;
}

struct Request {
    const char* reg;
    const char* byte_order;
    bool (*takes)(const conversion::TypedValue&);
};

constexpr std::array<Request, 4> kRequests{{
    {"coil", "ABCD",
     [](const conversion::TypedValue& v) { return v.entry.table == ModbusTable::Coil; }},
    {"discrete", "ABCD",
     [](const conversion::TypedValue& v) { return v.entry.table == ModbusTable::DiscreteInput; }},
    {"holding", "ABCD",
     [](const conversion::TypedValue& v) {
         return v.entry.table == ModbusTable::HoldingRegister && !v.high;
     }},
    {"holding", "CDAB",
     [](const conversion::TypedValue& v) {
         return v.entry.table == ModbusTable::HoldingRegister && v.high.has_value();
     }},
}};

}  // namespace

std::string TelegrafConfig(const transport::Connection& connection,
                           std::span<const ConfigTag> tags) {
    const std::string slave = std::to_string(connection.slave);
    std::string out =
        "# Written by zentriq-lookup: the controller's devices at their zero-based "
        "addresses.\n[[inputs.modbus]]\n  name = \"DVP\"\n  slave_id = " +
        slave + "\n  timeout = \"" + std::to_string(connection.timeout.count()) +
        "ms\"\n  controller = " + console::QuotedText(Controller(connection)) + "\n";
    if (connection.tcp) {
        const bool ascii = connection.mode == modbus::FrameMode::Ascii;
        out += std::string("  transmission_mode = \"") +
               (!connection.serial_frames ? "TCP"
                : ascii                   ? "ASCIIoverTCP"
                                          : "RTUoverTCP") +
               "\"\n";
    } else {
        out += "  baud_rate = " + std::to_string(connection.baud) +
               "\n  data_bits = " + std::to_string(connection.line.data_bits) + "\n  parity = \"" +
               std::string(1, connection.line.parity) +
               "\"\n  stop_bits = " + std::to_string(connection.line.stop_bits) +
               "\n  transmission_mode = \"" +
               (connection.mode == modbus::FrameMode::Ascii ? "ASCII" : "RTU") + "\"\n";
    }
    out += "  configuration_type = \"request\"\n";
    // Telegraf keeps one value per field name: a name two tags make alike gets the device after it.
    std::set<std::string> taken;
    std::vector<std::string> names;
    for (const auto& tag : tags) {
        std::string name = FieldName(tag.name);
        if (!taken.insert(name).second) {
            name += "_" + conversion::DeviceName(tag.value.entry.device);
            taken.insert(name);
        }
        names.push_back(std::move(name));
    }
    for (const auto& request : kRequests) {
        std::string fields;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            const ConfigTag& tag = tags[i];
            if (!request.takes(tag.value)) {
                continue;
            }
            fields += "      { address=" + std::to_string(tag.value.entry.address) +
                      ", name=" + console::QuotedText(names[i]);
            if (const std::string type = TypeWord(tag.value.type); !type.empty()) {
                fields += ", type=\"" + type + "\"";
            }
            fields += " },\n";
        }
        if (fields.empty()) {
            continue;
        }
        out.append("\n  [[inputs.modbus.request]]\n    slave_id = ")
            .append(slave)
            .append("\n    byte_order = \"")
            .append(request.byte_order)
            .append("\"\n    register = \"")
            .append(request.reg)
            .append("\"\n    measurement = \"dvp\"\n    fields = [\n")
            .append(fields)
            .append("    ]\n");
    }
    return out;
}

}  // namespace cli
