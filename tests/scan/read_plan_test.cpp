// The plans of reads: which requests the named devices take on each link, that no plan takes longer
// than the best split of the addresses, and that no request spans an address the controller would
// refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "conversion/poll_items.h"
#include "conversion/typed_items.h"
#include "scan/read_plan.h"
#include "test_names.h"

namespace {

using conversion::MapEntry;
using conversion::ModbusTable;
using modbus::FrameMode;
using modbus::FunctionCode;
using modbus::LineCost;
using modbus::ReadRequest;
using std::chrono::milliseconds;

constexpr auto Coil = ModbusTable::Coil, Input = ModbusTable::DiscreteInput,
               Register = ModbusTable::HoldingRegister;
// The controller's own line, 9600 7E1 ASCII; RTU at 9600 8N1 and at 115200 8E1; TCP.
constexpr LineCost kAscii{FrameMode::Ascii, 9600, 10, milliseconds(10)};
constexpr LineCost kRtu{FrameMode::Rtu, 9600, 10, milliseconds(10)};
constexpr LineCost kFastRtu{FrameMode::Rtu, 115200, 11, milliseconds(10)};
constexpr LineCost kTcp{std::nullopt, 0, 0, milliseconds(10)};

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
    LineCost cost;
    std::string plan;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ReadCase)

class PlanReadsTest : public testing::TestWithParam<ReadCase> {};

TEST_P(PlanReadsTest, ReadsEveryEntryInTheLeastTime) {
    const auto& row = GetParam();
    EXPECT_EQ(Shown(scan::PlanReads(EntriesOf(row.items, row.table), row.cost)), row.plan);
}

// A request of its own costs the reply delay and, besides its data, 28 characters in ASCII: at 9600
// 7E1 as much as 9.4 registers (4 characters each) or 18.8 bytes of bits. In RTU it costs 13
// characters and two silences of 3.5: at 9600 8N1 as much as 14.8 registers (2 characters each); at
// 115200 8E1, where a silence is 1.75 ms, 77.2.
const ReadCase kReadCases[] = {
    {"Nothing", {}, std::nullopt, kTcp, ""},
    {"Consecutive", {"D100-D109"}, std::nullopt, kAscii, "03 1064+10"},
    {"RepeatsInAnyNotation",
     {"D101", "D100", "404197", "0x1065"},
     std::nullopt,
     kAscii,
     "03 1064+2"},
    {"AsciiReadsAcrossNineRegisters", {"D100", "D110"}, std::nullopt, kAscii, "03 1064+11"},
    {"AsciiAsksTenApart", {"D100", "D111"}, std::nullopt, kAscii, "03 1064+1, 03 106F+1"},
    {"AsciiReadsAcross158Bits", {"M0", "M159"}, std::nullopt, kAscii, "01 0800+160"},
    {"AsciiAsks159BitsApart", {"M0", "M160"}, std::nullopt, kAscii, "01 0800+1, 01 08A0+1"},
    {"RtuReadsAcrossFourteenRegisters", {"D100", "D115"}, std::nullopt, kRtu, "03 1064+16"},
    {"RtuAsksFifteenApart", {"D100", "D116"}, std::nullopt, kRtu, "03 1064+1, 03 1074+1"},
    {"FastRtuReadsAcross77Registers", {"D0", "D78"}, std::nullopt, kFastRtu, "03 1000+79"},
    {"FastRtuAsks78Apart", {"D0", "D79"}, std::nullopt, kFastRtu, "03 1000+1, 03 104F+1"},
    {"TcpReadsAcrossEveryGap", {"D0", "D124"}, std::nullopt, kTcp, "03 1000+125"},
    {"CoilsThenInputsThenRegisters",
     {"D100", "X0", "Y0"},
     std::nullopt,
     kTcp,
     "01 0500+1, 02 0400+1, 03 1064+1"},
    {"NeverFromD4095ToD4096", {"D4095", "D4096"}, std::nullopt, kTcp, "03 1FFF+1, 03 9000+1"},
    {"NeverAcrossTheRegisterHoleAfterT", {"T255", "C0"}, Register, kTcp, "03 06FF+1, 03 0E00+1"},
    {"AcrossThe32BitCounters", {"C199", "C200"}, Register, kTcp, "03 0EC7+2"},
    {"CoilsNeverAcrossX", {"S1023", "Y0"}, std::nullopt, kTcp, "01 03FF+1, 01 0500+1"},
    {"InputsAcrossXToY", {"S1023", "X0", "Y0"}, Input, kTcp, "02 03FF+258"},
    {"InputsNeverIntoTheHoleAfterT", {"T255", "M0"}, Input, kTcp, "02 06FF+1, 02 0800+1"},
    {"TimersOnBothTables", {"T0", "T5"}, std::nullopt, kTcp, "01 0600+6, 03 0600+6"},
    {"CountersOnBothTables",
     {"C0", "C255"},
     std::nullopt,
     kTcp,
     "01 0E00+256, 03 0E00+1, 03 0EFF+1"},
    {"At125Registers", {"D0-D125"}, std::nullopt, kAscii, "03 1000+125, 03 107D+1"},
    {"At2000Coils", {"M1536-M4095"}, std::nullopt, kAscii, "01 B000+2000, 01 B7D0+560"},
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

const TableDevices& DevicesOf(ModbusTable table) {
    static const TableDevices coils(Coil), inputs(Input), registers(Register);
    return table == Coil ? coils : table == Input ? inputs : registers;
}

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

TEST(PlanReads, TakesOverTcpNoMoreRequestsThanTheBestSplit) {
    std::mt19937 random(20240611);
    for (const ModbusTable table : {Coil, Input, Register}) {
        const TableDevices& devices = DevicesOf(table);
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

            const auto plan = scan::PlanReads(entries, kTcp);
            ASSERT_EQ(plan.size(), FewestRequests(asked, devices)) << Shown(plan);
            for (const auto& request : plan) {
                ASSERT_TRUE(
                    devices.Throughout(request.start, request.start + request.quantity - 1u))
                    << Shown(plan);
            }
            for (const MapEntry& entry : entries) {
                ASSERT_TRUE(scan::SlotOf(plan, entry).has_value()) << Shown(plan);
            }
        }
    }
}

// Whether `request` carries at most the protocol's items and spans only devices of its table.
bool Possible(const ReadRequest& request) {
    const TableDevices& devices = DevicesOf(scan::TableRead(request.function));
    const unsigned most = devices.table() == Register ? 125 : 2000;
    return request.quantity >= 1 && request.quantity <= most &&
           devices.Throughout(request.start, request.start + request.quantity - 1u);
}

// The least time that reads the sorted, distinct `asked` addresses with `code`, by pricing every
// way of cutting them into runs, each run one request from its first address to its last.
// A cut after a 32-bit value's low word (in `lows`) is no split at all: its words would come from
// two moments.
std::chrono::nanoseconds LeastTimeOfEverySplit(const std::vector<std::uint16_t>& asked,
                                               FunctionCode code, const LineCost& cost,
                                               const std::vector<std::uint16_t>& lows = {}) {
    auto least = std::chrono::nanoseconds::max();
    const std::size_t last = asked.size() - 1;
    for (std::uint32_t cuts = 0; cuts < 1u << last; ++cuts) {  // bit k: a cut after asked[k]
        std::chrono::nanoseconds time{0};
        bool possible = true;
        for (std::size_t k = 0; k < last; ++k) {
            possible = possible && ((cuts >> k & 1u) == 0 ||
                                    std::find(lows.begin(), lows.end(), asked[k]) == lows.end());
        }
        for (std::size_t first = 0, k = 0; k <= last; ++k) {
            if (k == last || (cuts >> k & 1u) != 0) {
                const ReadRequest request{code, asked[first],
                                          static_cast<std::uint16_t>(asked[k] - asked[first] + 1)};
                possible = possible && Possible(request);
                time += modbus::ReadTime(cost, request);
                first = k + 1;
            }
        }
        if (possible) {
            least = std::min(least, time);
        }
    }
    return least;
}

struct SplitCase {
    const char* name;
    std::vector<std::string> items;  // at most 12 addresses of a table: 2048 splits
    std::optional<ModbusTable> table;
};
ZENTRIQ_PRINT_ROW_AS_NAME(SplitCase)

class EverySplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(EverySplitTest, NoSplitOfTheAddressesTakesLess) {
    const auto& row = GetParam();
    const auto entries = EntriesOf(row.items, row.table);
    const LineCost slow_replies{FrameMode::Ascii, 19200, 11, milliseconds(60)};
    for (const LineCost& cost : {kAscii, kRtu, kFastRtu, kTcp, slow_replies}) {
        const auto plan = scan::PlanReads(entries, cost);
        SCOPED_TRACE(Shown(plan));
        std::chrono::nanoseconds least{0};
        for (const auto code : {FunctionCode::ReadCoils, FunctionCode::ReadDiscreteInputs,
                                FunctionCode::ReadHoldingRegisters}) {
            std::vector<std::uint16_t> asked;
            for (const MapEntry& entry : entries) {
                if (entry.table == scan::TableRead(code)) {
                    asked.push_back(entry.address);
                }
            }
            std::sort(asked.begin(), asked.end());
            asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
            if (!asked.empty()) {
                least += LeastTimeOfEverySplit(asked, code, cost);
            }
        }
        EXPECT_EQ(scan::PlanTime(plan, cost).count(), least.count());
        for (const auto& request : plan) {
            EXPECT_TRUE(Possible(request));
        }
        for (const MapEntry& entry : entries) {
            EXPECT_TRUE(scan::SlotOf(plan, entry).has_value());
        }
    }
}

const SplitCase kSplitCases[] = {
    {"ScatteredRegisters",
     {"D0", "D3", "D9", "D20", "D31", "D33", "D60", "D100", "D102", "D130", "D135", "D190"},
     std::nullopt},
    {"ScatteredBits",
     {"M0", "M7", "M8", "M16", "M40", "M100", "M170", "M300", "M301", "M600", "M1000"},
     std::nullopt},
    {"RegistersAroundTheHoleAfterT", {"T250", "T253", "T255", "C0", "C2", "C10", "C40"}, Register},
    {"AroundD4095", {"D4080", "D4090", "D4095", "D4096", "D4100", "D4110"}, std::nullopt},
    {"CoilsAroundX", {"S1000", "S1020", "S1023", "Y0", "Y7", "Y200", "T0"}, Coil},
    {"InputsFromXToY", {"S1023", "X0", "X7", "X377", "Y0", "Y377", "T0"}, Input},
    {"AtTheRegisterLimit",
     {"D0", "D60", "D124", "D125", "D180", "D249", "D250", "D300"},
     std::nullopt},
    {"AtTheBitLimit", {"M1536", "M2000", "M3535", "M3536", "M3600", "M4095"}, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Plans, EverySplitTest, testing::ValuesIn(kSplitCases), RowName<SplitCase>);

// Registers around the limit of 125 a request, and a 32-bit value at every place among them.
TEST(PlanReads, ReadsA32BitValueInOneRequestAndNoSplitTakesLess) {
    const std::vector<std::string> around{"D0", "D60", "D123", "D180", "D249", "D300"};
    for (const LineCost& cost : {kAscii, kFastRtu, kTcp}) {
        for (unsigned low = 0; low < 302; ++low) {
            auto entries = EntriesOf(around, std::nullopt);
            const auto value = conversion::ReadTypedItem("D" + std::to_string(low) + ":i32");
            ASSERT_TRUE(value.ok()) << value.message;
            const MapEntry& first = value.values[0].entry;
            const MapEntry& second = *value.values[0].high;
            entries.push_back(first);
            entries.push_back(second);
            const std::vector<MapEntry> lows{first};
            const auto plan = scan::PlanReads(entries, cost, lows);
            SCOPED_TRACE("D" + std::to_string(low) + ": " + Shown(plan));
            ASSERT_EQ(scan::SlotOf(plan, first)->request, scan::SlotOf(plan, second)->request);
            std::vector<std::uint16_t> asked;
            for (const MapEntry& entry : entries) {
                asked.push_back(entry.address);
            }
            std::sort(asked.begin(), asked.end());
            asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
            const auto least = LeastTimeOfEverySplit(asked, FunctionCode::ReadHoldingRegisters,
                                                     cost, {first.address});
            ASSERT_EQ(scan::PlanTime(plan, cost).count(), least.count());
        }
    }
}

TEST(SlotOf, FindsTheRequestAndItemOfAnEntry) {
    const auto entries = EntriesOf({"Y0-Y7", "T5", "D100-D109"}, std::nullopt);
    const auto plan = scan::PlanReads(entries, kAscii);
    ASSERT_EQ(Shown(plan), "01 0500+8, 01 0605+1, 03 0605+1, 03 1064+10");
    const auto slot = [&plan](const char* item, std::optional<ModbusTable> table) {
        const auto read = conversion::ReadItem(item, table);
        const auto found = scan::SlotOf(plan, read.entries.at(0));
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
