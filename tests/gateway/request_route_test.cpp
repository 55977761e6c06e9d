// Where each client request goes: a station on the line, or the gateway's own exception.
#include <gtest/gtest.h>

#include <vector>

#include "gateway/request_route.h"
#include "test_names.h"

namespace {

using gateway::RouteRules;

struct RouteCase {
    const char* name;
    std::uint8_t unit;
    std::vector<std::uint8_t> pdu;
    std::uint8_t station;    // where it goes when it goes
    std::uint8_t exception;  // the gateway's answer, 0 when it goes to the line
    bool read_only = false;
    std::vector<unsigned> stations = {};  // --stations; empty: all
};
ZENTRIQ_PRINT_ROW_AS_NAME(RouteCase)

const std::vector<std::uint8_t> kReadD100{0x03, 0x10, 0x64, 0x00, 0x0A};
const std::vector<std::uint8_t> kSetY0{0x05, 0x05, 0x00, 0xFF, 0x00};

const RouteCase kRouteCases[] = {
    {"UnitZeroReachesTheSlave", 0, kReadD100, 7, 0},
    {"Unit255ReachesTheSlave", 255, kReadD100, 7, 0},
    {"AStationIsPassedThrough", 12, kReadD100, 12, 0},
    {"TheLastStation", 247, kReadD100, 247, 0},
    {"UnitsPastTheLastStationHaveNoPath", 248, kReadD100, 0, 0x0A},
    {"Unit254HasNoPath", 254, kReadD100, 0, 0x0A},
    {"AStationNotForwarded", 2, kReadD100, 0, 0x0A, false, {1, 3}},
    {"AForwardedStation", 3, kReadD100, 3, 0, false, {1, 3}},
    {"UnitZeroFollowsTheSlaveEvenWhenNotListed", 0, kReadD100, 0, 0x0A, false, {1}},
    {"ReadInputRegistersIsNoFunctionOfTheController", 1, {0x04, 0x10, 0x64, 0x00, 0x01}, 0, 0x01},
    {"ReportSlaveIdIsForwarded", 1, {0x11}, 1, 0},
    {"DiagnosticsIsRefused", 1, {0x08, 0x00, 0x00, 0x00, 0x00}, 0, 0x01},
    {"ACodeWithoutAShapeIsRefused",
     1,
     {0x17, 0x10, 0x64, 0x00, 0x01, 0x10, 0x64, 0x00, 0x01, 0x02, 0x00, 0x07},
     0,
     0x01},
    {"AWriteGoesWhenNotReadOnly", 1, kSetY0, 1, 0},
    {"AWriteIsRefusedWhenReadOnly", 1, kSetY0, 0, 0x01, true},
    {"AReadGoesWhenReadOnly", 1, kReadD100, 1, 0, true},
    {"AReadOfNothingIsAWrongShape", 1, {0x03, 0x10, 0x64, 0x00, 0x00}, 0, 0x03},
    {"AReadOf126RegistersIsAWrongShape", 1, {0x03, 0x10, 0x64, 0x00, 0x7E}, 0, 0x03},
    {"ARequestCutShortIsAWrongShape", 1, {0x03, 0x10, 0x64}, 0, 0x03},
    {"AWrongCoilValueIsAWrongShape", 1, {0x05, 0x05, 0x00, 0x12, 0x34}, 0, 0x03},
    {"AByteCountThatDoesNotFitIsAWrongShape",
     1,
     {0x10, 0x10, 0x64, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00},
     0,
     0x03},
    {"ASoundMultipleWrite", 1, {0x10, 0x10, 0x64, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02}, 1, 0},
    {"ASoundCoilWrite", 1, {0x0F, 0x08, 0x00, 0x00, 0x0A, 0x02, 0xFF, 0x03}, 1, 0},
};

class RequestRouteTest : public testing::TestWithParam<RouteCase> {};

TEST_P(RequestRouteTest, GoesToTheLineOrIsAnsweredByTheGateway) {
    const auto& row = GetParam();
    RouteRules rules = gateway::EveryStation(row.stations.empty() ? 7 : 1);
    rules.read_only = row.read_only;
    if (!row.stations.empty()) {
        rules.stations.reset();
        for (const unsigned station : row.stations) {
            rules.stations.set(station);
        }
        rules.slave = 2;
    }
    const auto route = gateway::RouteRequest(rules, row.unit, row.pdu);
    EXPECT_EQ(route.exception, row.exception) << route.reason;
    if (row.exception == 0) {
        EXPECT_EQ(route.station, row.station);
    } else {
        EXPECT_FALSE(route.reason.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RequestRouteTest, testing::ValuesIn(kRouteCases),
                         RowName<RouteCase>);

}  // namespace
