// The watch's report on a terminal: each table drawn over the last one, a changed value marked,
// and the scans with errors counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "conversion/device_map.h"
#include "conversion/typed_items.h"
#include "poll/report.h"

namespace {

std::vector<scan::DeviceValue> D100Holding(std::optional<std::uint16_t> value,
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

// A write's read-back: the value written beside the value read, shown the same way, and a
// read-back that differs noted; a 32-bit value's words joined in both.
TEST(ScanText, ShowsTheValueWrittenBesideTheReadBack) {
    auto values = D100Holding(0xFFFD);
    values.push_back(values.front());
    values[0].written = 0xFFFD;
    values[1].written = 7;
    auto f32 = conversion::ReadTypedItem("D200:f32").values.at(0);
    values.push_back({f32.entry, 0x0000, {}, f32.type, 0x41AC, 0x41AC0000});
    EXPECT_EQ(poll::ScanText(console::Format::Csv, values, true),
              "device,table,address,written,value,hex,note,error\n"
              "D100,holding register,1064,-3,-3,0xFFFD,,\n"
              "D100,holding register,1064,7,-3,0xFFFD,reads back other than written: the "
              "controller's program may drive it,\n"
              "D200:f32,holding register,10C8,21.5,21.5,0x41AC0000,,\n");
}

}  // namespace
