// The plans of reads: which requests the named devices take, and that no request spans an address
// the controller would refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "conversion/poll_items.h"
#include "conversion/read_plan.h"
#include "test_names.h"

namespace {

using conversion::BridgeLimits;
using conversion::MapEntry;
using conversion::ModbusTable;
using modbus::FunctionCode;
using modbus::ReadRequest;

constexpr auto Coil = ModbusTable::Coil, Input = ModbusTable::DiscreteInput,
               Register = ModbusTable::HoldingRegister;
constexpr BridgeLimits kNoBridge{0, 0};
constexpr auto kAnyGap = conversion::kBridgeAnyGap;

std::vector<MapEntry> EntriesOf(const std::vector<std::string>& items,
                                std::optional<ModbusTable> table) {
    std::vector<MapEntry> entries;
    for (const auto& item : items) {
        const auto read = conversion::ReadItem(item, table);
        EXPECT_TRUE(read.ok()) << read.message;
        entries.insert(entries.end(), read.entries.begin(), read.entries.end());
    }
    return entries;
}

// "03 1064+10, 01 0500+8": code, start and quantity of each request.
std::string Shown(const std::vector<ReadRequest>& plan) {
    std::string text;
    for (const auto& request : plan) {
        char one[32];
        std::snprintf(one, sizeof one, "%s%02X %04X+%u", text.empty() ? "" : ", ",
                      static_cast<unsigned>(request.function), request.start, request.quantity);
        text += one;
    }
    return text;
}

struct ReadCase {
    const char* name;
    std::vector<std::string> items;
    std::optional<ModbusTable> table;
    BridgeLimits bridge;
    std::string plan;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ReadCase)

class PlanReadsTest : public testing::TestWithParam<ReadCase> {};

TEST_P(PlanReadsTest, ReadsEveryEntryInTheFewestRequestsAllowed) {
    const auto& row = GetParam();
    EXPECT_EQ(Shown(conversion::PlanReads(EntriesOf(row.items, row.table), row.bridge)), row.plan);
}

const ReadCase kReadCases[] = {
    {"Nothing", {}, std::nullopt, kAnyGap, ""},
    {"Consecutive", {"D100-D109"}, std::nullopt, kNoBridge, "03 1064+10"},
    {"RepeatsInAnyNotation",
     {"D101", "D100", "404197", "0x1065"},
     std::nullopt,
     kNoBridge,
     "03 1064+2"},
    {"GapBridged", {"D100", "D105"}, std::nullopt, {0, 4}, "03 1064+6"},
    {"GapPastTheLimit", {"D100", "D105"}, std::nullopt, {0, 3}, "03 1064+1, 03 1069+1"},
    {"EachKindItsOwnLimit",
     {"M0", "M5", "D0", "D5"},
     std::nullopt,
     {4, 3},
     "01 0800+6, 03 1000+1, 03 1005+1"},
    {"CoilsThenInputsThenRegisters",
     {"D100", "X0", "Y0"},
     std::nullopt,
     kAnyGap,
     "01 0500+1, 02 0400+1, 03 1064+1"},
    {"NeverFromD4095ToD4096", {"D4095", "D4096"}, std::nullopt, kAnyGap, "03 1FFF+1, 03 9000+1"},
    {"NeverAcrossTheRegisterHoleAfterT", {"T255", "C0"}, Register, kAnyGap, "03 06FF+1, 03 0E00+1"},
    {"AcrossThe32BitCounters", {"C199", "C200"}, Register, kAnyGap, "03 0EC7+2"},
    {"CoilsNeverAcrossX", {"S1023", "Y0"}, std::nullopt, kAnyGap, "01 03FF+1, 01 0500+1"},
    {"InputsAcrossXToY", {"S1023", "X0", "Y0"}, Input, kAnyGap, "02 03FF+258"},
    {"InputsNeverIntoTheHoleAfterT", {"T255", "M0"}, Input, kAnyGap, "02 06FF+1, 02 0800+1"},
    {"TimersOnBothTables", {"T0", "T5"}, std::nullopt, kAnyGap, "01 0600+6, 03 0600+6"},
    {"CountersOnBothTables",
     {"C0", "C255"},
     std::nullopt,
     kAnyGap,
     "01 0E00+256, 03 0E00+1, 03 0EFF+1"},
    {"At125Registers", {"D0-D125"}, std::nullopt, kNoBridge, "03 1000+125, 03 107D+1"},
    {"At2000Coils", {"M1536-M4095"}, std::nullopt, kNoBridge, "01 B000+2000, 01 B7D0+560"},
};
INSTANTIATE_TEST_SUITE_P(Plans, PlanReadsTest, testing::ValuesIn(kReadCases), RowName<ReadCase>);

// The addresses with a device on one table, found by asking the map for each.
class TableDevices {
  public:
    explicit TableDevices(ModbusTable table) : table_(table), before_(0x10001, 0) {
        for (unsigned address = 0; address <= 0xFFFF; ++address) {
            const bool device =
                conversion::DevicesAt(static_cast<std::uint16_t>(address), table).ok();
            before_[address + 1] = before_[address] + (device ? 1 : 0);
            if (device) {
                addresses.push_back(address);
            }
        }
    }
    ModbusTable table() const { return table_; }
    // Whether every address from `first` to `last` has a device.
    bool Throughout(unsigned first, unsigned last) const {
        return before_[last + 1] - before_[first] == last - first + 1;
    }

    std::vector<unsigned> addresses;

  private:
    ModbusTable table_;
    std::vector<unsigned> before_;  // the devices below each address
};

// The fewest requests for sorted, distinct `asked` addresses, by trying every split (dynamic
// programming over the first i addresses).
std::size_t FewestRequests(const std::vector<unsigned>& asked, const TableDevices& devices) {
    const unsigned most = devices.table() == Register ? 125 : 2000;
    std::vector<std::size_t> best(asked.size() + 1, SIZE_MAX);
    best[0] = 0;
    for (std::size_t end = 1; end <= asked.size(); ++end) {
        for (std::size_t begin = end; begin-- > 0;) {
            if (asked[end - 1] - asked[begin] + 1 > most ||
                !devices.Throughout(asked[begin], asked[end - 1])) {
                break;
            }
            best[end] = std::min(best[end], best[begin] + 1);
        }
    }
    return best.back();
}

TEST(PlanReads, GreedyTakesNoMoreRequestsThanTheBestSplit) {
    std::mt19937 random(20240611);
    for (const ModbusTable table : {Coil, Input, Register}) {
        const TableDevices devices(table);
        for (int trial = 0; trial < 300; ++trial) {
            // Addresses from a window of the device list, which often straddles a hole.
            const std::size_t window = table == Register ? 300 : 2500;
            const std::size_t first = random() % (devices.addresses.size() - window);
            std::vector<MapEntry> entries;
            std::vector<unsigned> asked;
            for (std::size_t n = 1 + random() % 40; n > 0; --n) {
                const unsigned address = devices.addresses[first + random() % window];
                const auto found =
                    conversion::DevicesAt(static_cast<std::uint16_t>(address), table);
                entries.push_back(found.found()[0]);
                asked.push_back(address);
            }
            std::sort(asked.begin(), asked.end());
            asked.erase(std::unique(asked.begin(), asked.end()), asked.end());

            const auto plan = conversion::PlanReads(entries, kAnyGap);
            ASSERT_EQ(plan.size(), FewestRequests(asked, devices)) << Shown(plan);
            for (const auto& request : plan) {
                ASSERT_TRUE(
                    devices.Throughout(request.start, request.start + request.quantity - 1u))
                    << Shown(plan);
            }
            for (const MapEntry& entry : entries) {
                ASSERT_TRUE(conversion::SlotOf(plan, entry).has_value()) << Shown(plan);
            }
        }
    }
}

TEST(SlotOf, FindsTheRequestAndItemOfAnEntry) {
    const auto entries = EntriesOf({"Y0-Y7", "T5", "D100-D109"}, std::nullopt);
    const auto plan = conversion::PlanReads(entries, kNoBridge);
    ASSERT_EQ(Shown(plan), "01 0500+8, 01 0605+1, 03 0605+1, 03 1064+10");
    const auto slot = [&plan](const char* item, std::optional<ModbusTable> table) {
        const auto read = conversion::ReadItem(item, table);
        const auto found = conversion::SlotOf(plan, read.entries.at(0));
        return found ? std::to_string(found->request) + "+" + std::to_string(found->offset)
                     : std::string("none");
    };
    EXPECT_EQ(slot("Y0", std::nullopt), "0+0");
    EXPECT_EQ(slot("Y7", std::nullopt), "0+7");
    EXPECT_EQ(slot("T5", Coil), "1+0");
    EXPECT_EQ(slot("T5", Register), "2+0");
    EXPECT_EQ(slot("D109", std::nullopt), "3+9");
    EXPECT_EQ(slot("D110", std::nullopt), "none");
    EXPECT_EQ(slot("Y0", Input), "none");
}

}  // namespace
