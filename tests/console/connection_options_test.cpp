// Where the controller is, as every program reads it from its command line: each combination of
// --port, --host, --mode, --baud, --line, --slave, --timeout, --rs485 and --pause gives the
// connection it says, or the usage error that says what is wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/connection_options.h"
#include "test_names.h"

namespace {

struct OptionsCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string connection;  // as Described below, or empty
    std::string error;       // a part of the usage error, or empty
};

std::string Described(const transport::Connection& c) {
    std::string text =
        c.tcp ? "tcp " + c.host + ":" + std::to_string(c.tcp_port) : "port " + c.port;
    if (!c.tcp || c.serial_frames) {
        text += c.mode == modbus::FrameMode::Rtu ? " rtu" : " ascii";
    }
    if (!c.tcp) {
        text += " " + std::to_string(c.baud) + " " + transport::LineText(c.line);
    }
    text += " slave " + std::to_string(c.slave) + " timeout " + std::to_string(c.timeout.count()) +
            " retries " + std::to_string(c.retries);
    if (c.pause.count() != 0) {
        text += " pause " + std::to_string(c.pause.count());
    }
    if (c.rs485.enabled) {
        text += " rs485 " + std::to_string(c.rs485.before.count()) + "/" +
                std::to_string(c.rs485.after.count()) + " us";
    }
    return text;
}

const OptionsCase kOptionsCases[] = {
    {"TheControllersOwnDefaults",
     {"--port", "/dev/ttyUSB0"},
     "port /dev/ttyUSB0 ascii 9600 7E1 slave 1 timeout 1000 retries 2",
     ""},
    {"RtuTakes8E1",
     {"--port", "COM3", "--mode", "rtu"},
     "port COM3 rtu 9600 8E1 slave 1 timeout 1000 retries 2",
     ""},
    {"EverySerialSetting",
     {"--port", "p", "--mode", "rtu", "--line", "8N1", "--baud", "19200", "--slave", "5",
      "--timeout", "250", "--retries", "0"},
     "port p rtu 19200 8N1 slave 5 timeout 250 retries 0",
     ""},
    {"ModbusTcpOnPort502",
     {"--host", "192.168.1.5"},
     "tcp 192.168.1.5:502 slave 1 timeout 1000 retries 2",
     ""},
    {"SerialFramesOverTcp",
     {"--host", "[::1]:4001", "--mode", "rtu"},
     "tcp ::1:4001 rtu slave 1 timeout 1000 retries 2",
     ""},
    {"Rs485WithItsDelaysAndAPause",
     {"--port", "p", "--rs485", "--rts-before", "5", "--rts-after", "2", "--pause", "20"},
     "port p ascii 9600 7E1 slave 1 timeout 1000 retries 2 pause 20 rs485 5000/2000 us",
     ""},
    {"NothingSaysWhere", {}, "", "say where the controller is"},
    {"ModeAloneSaysNothingOfWhere", {"--mode", "rtu"}, "", "say where the controller is"},
    {"AnEmptyPortName", {"--port", ""}, "", "--port: give the serial port's name"},
    {"PortZero", {"--host", "10.0.0.1:0"}, "", "--host 10.0.0.1:0: give a host name"},
    {"ALineThatIsNone", {"--port", "p", "--line", "7X1"}, "", "--line 7X1: write data bits"},
    {"RtuWithSevenDataBits",
     {"--port", "p", "--mode", "rtu", "--line", "7E1"},
     "",
     "Modbus RTU needs 8 data bits"},
    {"BaudIsForAPort", {"--host", "h", "--baud", "19200"}, "", "--baud requires --port"},
    {"LineIsForAPort", {"--host", "h", "--line", "8N1"}, "", "--line requires --port"},
    {"Rs485IsForAPort", {"--host", "h", "--rs485"}, "", "--rs485 requires --port"},
    {"RtsDelaysNeedRs485",
     {"--port", "p", "--rts-before", "5"},
     "",
     "--rts-before requires --rs485"},
    {"PortOrHostNotBoth", {"--port", "p", "--host", "h"}, "", "excludes"},
    {"ATimeoutTooShort", {"--port", "p", "--timeout", "5"}, "", "--timeout"},
    {"ASlavePastTheLast", {"--port", "p", "--slave", "248"}, "", "--slave"},
};

class ConnectionOptionsTest : public testing::TestWithParam<OptionsCase> {};

TEST_P(ConnectionOptionsTest, GiveTheConnectionOrSayWhatIsWrong) {
    const auto& row = GetParam();
    CLI::App app;
    console::ConnectionOptions options(app, true);
    std::string error;
    try {
        app.parse(std::vector<std::string>(row.arguments.rbegin(), row.arguments.rend()));
    } catch (const CLI::ParseError& e) {
        error = e.what();
    }
    std::string connection;
    if (error.empty()) {
        auto read = options.Connection();
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            error = failure->message;
        } else {
            connection = Described(std::get<transport::Connection>(read));
        }
    }
    EXPECT_EQ(connection, row.connection);
    if (row.error.empty()) {
        EXPECT_EQ(error, "");
    } else {
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectionOptionsTest, testing::ValuesIn(kOptionsCases),
                         RowName<OptionsCase>);

}  // namespace
