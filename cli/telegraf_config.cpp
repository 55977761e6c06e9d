#include "cli/telegraf_config.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <set>
#include <vector>

#include "console/json_text.h"
#include "text/ascii_text.h"
#include "text/utf16.h"

namespace cli {

namespace {

using conversion::ModbusTable;
using conversion::ValueType;

// Spaces and controls outside ASCII, which a field name would hide.
bool IsInvisible(char32_t c) {
    return (c >= 0x80 && c <= 0xA0) || (c >= 0x2000 && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202F) || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// A field name every query language takes without quoting: ASCII letters and digits, and every
// letter beyond ASCII as written (Telegraf and InfluxDB take UTF-8); ASCII punctuation, blanks,
// invisible characters and bytes that are no UTF-8 made _.
std::string FieldName(std::string_view name) {
    std::string safe;
    while (!name.empty()) {
        const text::Utf8Step step = text::FirstCodePoint(name);
        const bool kept = step.codePoint < 0x80 ? text::ascii::IsAlnum(name.front())
                                                : step.valid && !IsInvisible(step.codePoint);
        if (kept) {
            safe.append(name.substr(0, step.length));
        } else {
            safe += '_';
        }
        name.remove_prefix(step.length);
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

const char* RegisterWord(ModbusTable table) {
    switch (table) {
        case ModbusTable::Coil:
            return "coil";
        case ModbusTable::DiscreteInput:
            return "discrete";
        case ModbusTable::HoldingRegister:
            break;
    }
    return "holding";
}

std::string Controller(const transport::Connection& connection) {
    if (connection.tcp) {
        return "tcp://" + transport::HostText(connection);
    }
    // Telegraf names a Windows port as it is (COM3), any other as a file URL.
    const bool windows_port = connection.port.rfind("COM", 0) == 0;
    return windows_port ? connection.port : "file://" + connection.port;
}

// The field names, each unique: Telegraf keeps one value per name, so a name two tags make alike
// gets the device after it.
std::vector<std::string> FieldNames(std::span<const ConfigTag> tags) {
    std::set<std::string> taken;
    std::vector<std::string> names;
    names.reserve(tags.size());
    for (const auto& tag : tags) {
        std::string name = FieldName(tag.name);
        if (!taken.insert(name).second) {
            const std::string device = name + "_" + conversion::DeviceName(tag.value.entry.device);
            name = device;
            for (int n = 2; !taken.insert(name).second; ++n) {
                name = device + "_" + std::to_string(n);
            }
        }
        names.push_back(std::move(name));
    }
    return names;
}

// An omitted field for each address from `first` up to before `end`: read, never reported.
void AppendOmitted(std::string& fields, ModbusTable table, std::uint32_t first, std::uint32_t end) {
    for (std::uint32_t address = first; address < end; ++address) {
        fields += "      { address=" + std::to_string(address) +
                  (table == ModbusTable::HoldingRegister ? ", type=\"INT16\"" : "") +
                  ", omit=true },\n";
    }
}

}  // namespace

std::string TelegrafConfig(const transport::Connection& connection, std::span<const ConfigTag> tags,
                           const ConfigSettings& settings) {
    const auto plan = PlanTagReads(tags, transport::LineCostFor(connection));
    const std::string slave = std::to_string(connection.slave);
    const auto interval =
        ConfigInterval(settings, scan::PlanTime(plan, transport::LineCostFor(connection)), 1);
    std::string out =
        "# Written by zentriq-lookup: the controller's devices at their zero-based "
        "addresses.\n[[inputs.modbus]]\n  name = \"DVP\"\n  slave_id = " +
        slave + "\n  timeout = \"" + std::to_string(connection.timeout.count()) +
        "ms\"\n  interval = \"" + std::to_string(interval) +
        "s\"\n  controller = " + console::QuotedText(Controller(connection)) + "\n";
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
    const std::vector<std::string> names = FieldNames(tags);
    // The tags by address; each table's requests come by address too, so one walk places them.
    std::vector<std::size_t> order(tags.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return tags[a].value.entry.address < tags[b].value.entry.address;
    });
    for (const ModbusTable table :
         {ModbusTable::Coil, ModbusTable::DiscreteInput, ModbusTable::HoldingRegister}) {
        std::vector<std::size_t> of_table;
        std::copy_if(order.begin(), order.end(), std::back_inserter(of_table),
                     [&](std::size_t i) { return tags[i].value.entry.table == table; });
        std::string fields;
        auto tag = of_table.begin();
        for (const auto& request : plan) {
            if (scan::TableRead(request.function) != table) {
                continue;
            }
            const std::uint32_t end = std::uint32_t{request.start} + request.quantity;
            std::uint32_t next = request.start;  // the first address no field reads yet
            for (; tag != of_table.end() && tags[*tag].value.entry.address < end; ++tag) {
                const ConfigTag& read = tags[*tag];
                const auto address = read.value.entry.address;
                AppendOmitted(fields, table, next, address);
                fields += "      { address=" + std::to_string(address) +
                          ", name=" + console::QuotedText(names[*tag]);
                if (const std::string type = TypeWord(read.value.type); !type.empty()) {
                    fields += ", type=\"" + type + "\"";
                }
                fields += " },";
                if (!read.unit.empty()) {
                    // A comment ends at a line break and takes no other control character.
                    std::string unit = read.unit;
                    std::replace_if(
                        unit.begin(), unit.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; },
                        ' ');
                    fields += "  # " + unit;
                }
                fields += "\n";
                next = std::max<std::uint32_t>(next, address + (read.value.high ? 2u : 1u));
            }
            AppendOmitted(fields, table, next, end);
        }
        if (fields.empty()) {
            continue;
        }
        out.append("\n  [[inputs.modbus.request]]\n    slave_id = ")
            .append(slave)
            .append("\n    byte_order = \"")
            .append(table == ModbusTable::HoldingRegister ? "CDAB" : "ABCD")
            .append("\"\n    register = \"")
            .append(RegisterWord(table))
            .append("\"\n    measurement = \"dvp\"\n    fields = [\n")
            .append(fields)
            .append("    ]\n");
    }
    return out;
}

}  // namespace cli
