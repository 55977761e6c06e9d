// The watch's report on a terminal: each table drawn over the last one, a changed value marked,
// and the scans with errors counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "conversion/device_map.h"
#include "poll/report.h"

namespace {

std::vector<poll::DeviceValue> D100Holding(std::optional<std::uint16_t> value,
                                           std::string error = {}) {
    const auto entries =
        conversion::ReadItem("D100", conversion::ModbusTable::HoldingRegister).entries;
    return {{entries.at(0), value, std::move(error)}};
}

std::size_t LinesIn(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(WatchReport, DrawsEachTableOverTheLastAndMarksWhatChanged) {
    poll::WatchReport report(console::Format::Table, true, "127.0.0.1:502 (tcp, unit 1)");
    const auto now = std::chrono::system_clock::now();
    const std::string first = report.After(1, now, D100Holding(5), 0);
    EXPECT_EQ(first.rfind("127.0.0.1:502 (tcp, unit 1)\x1b[K\nscan 1  last good scan ", 0), 0U)
        << first;
    EXPECT_EQ(first.find('*'), std::string::npos);

    const std::string second = report.After(2, now, D100Holding(6), 0);
    EXPECT_EQ(second.rfind("\x1b[" + std::to_string(LinesIn(first)) + "F", 0), 0U) << second;
    EXPECT_NE(second.find("\n*"), std::string::npos) << "6 after 5 is not marked: " << second;

    const std::string third =
        report.After(3, now, D100Holding(std::nullopt, "no answer within 200 ms"), 1);
    EXPECT_NE(third.find("errors 1"), std::string::npos) << third;
    EXPECT_NE(third.find("no answer within 200 ms"), std::string::npos) << third;
}

}  // namespace
