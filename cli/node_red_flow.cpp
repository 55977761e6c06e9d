#include "cli/node_red_flow.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "console/json_text.h"
#include "scan/read_plan.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kTab = "zentriq-tab";
constexpr const char* kClient = "zentriq-client";

// msg.payload of a read is its raw values from its first address on; a 32-bit value keeps its low
// word at the lower address, as the controller keeps it.
constexpr const char* kDecode = R"(const raw = msg.payload;
const word = (i) => raw[i] & 0xFFFF;
const dword = (i) => (word(i) | (word(i + 1) << 16)) >>> 0;
const decode = {
    bool: (i) => Boolean(raw[i]),
    u16: word,
    i16: (i) => (word(i) << 16) >> 16,
    u32: dword,
    i32: (i) => dword(i) | 0,
    f32: (i) => {
        const view = new DataView(new ArrayBuffer(4));
        view.setUint32(0, dword(i));
        return view.getFloat32(0);
    },
};
return [tags.map(([topic, offset, type]) => ({ topic: topic, payload: decode[type](offset) }))];)";

// RTU over TCP is the client's TELNET type, which writes the RTU frames on the socket as they are;
// its TCP-RTU-BUFFERED type wraps them in Modbus TCP's header.
Json Client(const transport::Connection& connection) {
    const bool ascii = connection.mode == modbus::FrameMode::Ascii;
    const char parity = connection.line.parity;
    return {{"id", kClient},
            {"type", "modbus-client"},
            {"name", "DVP"},
            {"clienttype", connection.tcp ? "tcp" : "serial"},
            {"bufferCommands", true},
            {"stateLogEnabled", false},
            {"queueLogEnabled", false},
            {"failureLogEnabled", true},
            {"tcpHost", connection.tcp ? connection.host : "127.0.0.1"},
            {"tcpPort", std::to_string(connection.tcp_port)},
            {"tcpType", connection.serial_frames ? "TELNET" : "DEFAULT"},
            {"serialPort", connection.tcp ? "/dev/ttyUSB0" : connection.port},
            {"serialType", ascii ? "ASCII" : "RTU-BUFFERD"},
            {"serialBaudrate", std::to_string(connection.baud)},
            {"serialDatabits", std::to_string(connection.line.data_bits)},
            {"serialStopbits", std::to_string(connection.line.stop_bits)},
            {"serialParity", parity == 'E'   ? "even"
                             : parity == 'O' ? "odd"
                                             : "none"},
            {"serialConnectionDelay", "100"},
            {"serialAsciiResponseStartDelimiter", "0x3A"},
            {"unit_id", connection.slave},
            {"commandDelay", 1},
            {"clientTimeout", connection.timeout.count()},
            {"reconnectOnTimeout", true},
            {"reconnectTimeout", 2000},
            {"parallelUnitIdsAllowed", true}};
}

const char* DataType(modbus::FunctionCode code) {
    switch (code) {
        case modbus::FunctionCode::ReadCoils:
            return "Coil";
        case modbus::FunctionCode::ReadDiscreteInputs:
            return "Input";
        default:
            return "HoldingRegister";
    }
}

// A read and the tags it carries: [name, offset, type] each.
struct Run {
    modbus::ReadRequest request;
    Json tags = Json::array();
};

}  // namespace

std::optional<std::string> NodeRedRefuses(const transport::Connection& connection) {
    if (!connection.tcp || !connection.serial_frames ||
        connection.mode != modbus::FrameMode::Ascii) {
        return std::nullopt;
    }
    return "node-red-contrib-modbus's client has no ASCII over TCP (over TCP it speaks Modbus TCP "
           "or RTU frames): set the controller and the device server to Modbus RTU and give "
           "--mode rtu, or have the device server pass Modbus TCP and leave --mode out";
}

std::string NodeRedFlow(const transport::Connection& connection, std::span<const ConfigTag> tags,
                        const ConfigSettings& settings) {
    // The engine's polling is not ours to time: the fewest reads, every gap they may span read
    // across, whatever the link (every request costing one round trip).
    const auto plan = PlanTagReads(tags, modbus::LineCost{.mode = std::nullopt});
    const std::string rate = std::to_string(
        ConfigInterval(settings, scan::PlanTime(plan, transport::LineCostFor(connection)), 1));
    std::vector<Run> runs;
    runs.reserve(plan.size());
    for (const auto& request : plan) {
        runs.push_back({request});
    }
    for (const auto& tag : tags) {
        // The plan reads every tag, a 32-bit value's two words in one request.
        const auto slot = scan::SlotOf(plan, tag.value.entry);
        runs[slot->request].tags.push_back(
            {tag.name, slot->offset, conversion::TypeName(tag.value.type)});
    }
    Json flow = Json::array();
    flow.push_back({{"id", kTab},
                    {"type", "tab"},
                    {"label", "DVP tags"},
                    {"disabled", false},
                    {"info", "Written by zentriq-lookup"}});
    flow.push_back(Client(connection));
    int y = 40;
    for (std::size_t i = 0; i < runs.size(); ++i, y += 60) {
        const Run& run = runs[i];
        const std::string read_id = "zentriq-read-" + std::to_string(i + 1);
        const std::string tags_id = "zentriq-tags-" + std::to_string(i + 1);
        std::string names;
        for (const auto& tag : run.tags) {
            names += (names.empty() ? "" : ", ") + tag[0].get<std::string>();
        }
        flow.push_back({{"id", read_id},
                        {"type", "modbus-read"},
                        {"z", kTab},
                        {"name", std::string(DataType(run.request.function)) + " " +
                                     std::to_string(run.request.start) + " (" +
                                     std::to_string(run.request.quantity) + ")"},
                        {"topic", ""},
                        {"showStatusActivities", false},
                        {"logIOActivities", false},
                        {"showErrors", true},
                        {"unitid", ""},
                        {"dataType", DataType(run.request.function)},
                        {"adr", std::to_string(run.request.start)},
                        {"quantity", std::to_string(run.request.quantity)},
                        {"rate", rate},
                        {"rateUnit", "s"},
                        {"delayOnStart", false},
                        {"startDelayTime", ""},
                        {"server", kClient},
                        {"useIOFile", false},
                        {"ioFile", ""},
                        {"useIOForPayload", false},
                        {"emptyMsgOnFail", false},
                        {"x", 150},
                        {"y", y},
                        {"wires", Json::array({Json::array({tags_id}), Json::array()})}});
        flow.push_back({{"id", tags_id},
                        {"type", "function"},
                        {"z", kTab},
                        {"name", names},
                        {"func", "const tags = " + console::JsonText(run.tags) + ";\n" + kDecode},
                        {"outputs", 1},
                        {"timeout", 0},
                        {"noerr", 0},
                        {"initialize", ""},
                        {"finalize", ""},
                        {"libs", Json::array()},
                        {"x", 420},
                        {"y", y},
                        {"wires", Json::array({Json::array()})}});
    }
    return flow.dump(4, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace cli
