// What zentriq-poll reads from its command line: items and ranges that reach devices, and the
// assignments that write one. Single items are LookUp's, tested with the map; here only that they
// come through, and what ranges and assignments add.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <variant>

#include "conversion/poll_items.h"
#include "test_names.h"

namespace {

using conversion::LookupError;
using conversion::MapEntry;
using conversion::ModbusTable;

constexpr auto Coil = ModbusTable::Coil, Input = ModbusTable::DiscreteInput,
               Register = ModbusTable::HoldingRegister;

// One entry in a few characters: "D100 r1064" (c coil, i discrete input, r register).
std::string Shown(const MapEntry& entry) {
    char text[32];
    const char table = entry.table == Coil ? 'c' : entry.table == Input ? 'i' : 'r';
    std::snprintf(text, sizeof text, " %c%04X", table, entry.address);
    return conversion::DeviceName(entry.device) + text;
}

// The entries one after the other; a long list as its size and its two ends.
std::string Summary(const conversion::ItemEntries& item) {
    const auto& entries = item.entries;
    if (entries.size() > 8) {
        return std::to_string(entries.size()) + ": " + Shown(entries.front()) + " .. " +
               Shown(entries.back());
    }
    std::string text;
    for (const MapEntry& entry : entries) {
        text += (text.empty() ? "" : ", ") + Shown(entry);
    }
    return text;
}

struct ItemCase {
    const char* name;
    std::string item;
    std::optional<ModbusTable> table;
    std::string entries;                    // when read
    LookupError error = LookupError::None;  // when refused
    std::string message{};
};
ZENTRIQ_PRINT_ROW_AS_NAME(ItemCase)

class ReadItemTest : public testing::TestWithParam<ItemCase> {};

TEST_P(ReadItemTest, ReachesTheEntriesNamed) {
    const auto& row = GetParam();
    const auto item = conversion::ReadItem(row.item, row.table);
    EXPECT_EQ(item.error, row.error) << item.message;
    EXPECT_EQ(Summary(item), row.entries);
    if (!row.message.empty()) {
        EXPECT_EQ(item.message, row.message);
    }
}

constexpr auto kAny = std::nullopt;
constexpr auto kBad = LookupError::BadRange;

const ItemCase kItemCases[] = {
    {"Device", "D100", kAny, "D100 r1064"},
    {"ContactAndValue", "T5", kAny, "T5 c0605, T5 r0605"},
    {"DeviceOnATable", "T5", Register, "T5 r0605"},
    {"NoSuchDevice", "D10000", kAny, "", LookupError::NoSuchDevice},
    {"Range", "D100-D103", kAny, "D100 r1064, D101 r1065, D102 r1066, D103 r1067"},
    {"RangeLetterOnce", "D100-103", kAny, "D100 r1064, D101 r1065, D102 r1066, D103 r1067"},
    {"RangeBlanksAndCase", " d100 - 103 ", kAny, "D100 r1064, D101 r1065, D102 r1066, D103 r1067"},
    {"RangeOfOne", "D5-D5", kAny, "D5 r1005"},
    {"OctalRange", "X6-X11", kAny, "X6 i0406, X7 i0407, X10 i0408, X11 i0409"},
    {"AcrossSegments", "M1534-M1537", kAny, "M1534 c0DFE, M1535 c0DFF, M1536 cB000, M1537 cB001"},
    {"AcrossDSegments", "D4095-4096", kAny, "D4095 r1FFF, D4096 r9000"},
    {"TimersBitFirst", "T0-T1", kAny, "T0 c0600, T0 r0600, T1 c0601, T1 r0601"},
    {"RangeOnTable", "T0-T1", Register, "T0 r0600, T1 r0601"},
    {"CoilsAsInputs", "Y0-Y1", Input, "Y0 i0500, Y1 i0501"},
    {"EveryD", "D0-D9999", kAny, "10000: D0 r1000 .. D9999 rA70F"},
    {"RangeOffItsTable", "X0-X7", Coil, "", LookupError::NotInTable,
     "X0-X7: X0 has no coil entry: X is read-only, a discrete input (0400, 101025)"},
    {"Backwards", "D109-D100", kAny, "", kBad,
     "D109-D100 is not a range of devices: its first device, D109, comes after its last, D100"},
    {"TwoLetters", "D100-M5", kAny, "", kBad,
     "D100-M5 is not a range of devices: D100 and M5 are devices of different letters"},
    {"EndPastTheMap", "D9990-D10000", kAny, "", kBad,
     "D9990-D10000 is not a range of devices: D10000 has no Modbus address: D runs from D0 to "
     "D9999"},
    {"EndNotOctal", "X0-8", kAny, "", kBad,
     "X0-8 is not a range of devices: X8 is not an X number: X and Y are numbered in octal (X0-X7, "
     "X10-X17, ...)"},
    {"AddressEnds", "0x1064-0x1066", kAny, "", kBad,
     "0x1064-0x1066 is not a range of devices: a range runs from a device to one of the same "
     "letter, as in D100-D109 or D100-109"},
    {"OpenEnd", "D100-", kAny, "", kBad},
    {"HexLetterH", "H100-H200", kAny, "", kBad,
     "H100-H200 is not a range of devices: H100 is not a device: the device letters are S, X, Y, "
     "T, M, C and D"},
    {"ControlBytesEscaped", "D1-\x01", kAny, "", kBad,
     "D1-\\x01 is not a range of devices: a range runs from a device to one of the same letter, as "
     "in D100-D109 or D100-109"},
};
INSTANTIATE_TEST_SUITE_P(Items, ReadItemTest, testing::ValuesIn(kItemCases), RowName<ItemCase>);

struct AssignmentCase {
    const char* name;
    std::string text;
    std::optional<ModbusTable> table;
    std::string expected;  // "D100 r1064 = 250", or the message of a refusal
};
ZENTRIQ_PRINT_ROW_AS_NAME(AssignmentCase)

class ReadAssignmentTest : public testing::TestWithParam<AssignmentCase> {};

TEST_P(ReadAssignmentTest, GivesTheEntryAndValueOrSaysWhyNot) {
    const auto& row = GetParam();
    const auto read = conversion::ReadAssignment(row.text, row.table);
    if (const auto* assignment = std::get_if<conversion::Assignment>(&read)) {
        EXPECT_EQ(Shown(assignment->entry) + " = " + std::to_string(assignment->value),
                  row.expected);
    } else {
        EXPECT_EQ(std::get<text::Failure>(read).message, row.expected);
    }
}

constexpr std::string_view kWordRange =
    ": a register takes 0 to 65535, -32768 to -1, or 0x0000 to 0xFFFF";

const AssignmentCase kAssignmentCases[] = {
    {"Decimal", "D100=250", kAny, "D100 r1064 = 250"},
    {"Blanks", " D100 = 250 ", kAny, "D100 r1064 = 250"},
    {"Largest", "D100=65535", kAny, "D100 r1064 = 65535"},
    {"Negative", "D100=-3", kAny, "D100 r1064 = 65533"},
    {"MostNegative", "D100=-32768", kAny, "D100 r1064 = 32768"},
    {"Hex", "D100=0x00FA", kAny, "D100 r1064 = 250"},
    {"HexLeadingZeros", "D100=0X0000ffff", kAny, "D100 r1064 = 65535"},
    {"ByReference", "404197=1", kAny, "D100 r1064 = 1"},
    {"CoilOne", "Y0=1", kAny, "Y0 c0500 = 1"},
    {"CoilOn", "M5=on", kAny, "M5 c0805 = 1"},
    {"CoilOffUpperCase", "M5=OFF", kAny, "M5 c0805 = 0"},
    {"ContactByOnOff", "T5=on", kAny, "T5 c0605 = 1"},
    {"ContactOfA32BitCounter", "C200=off", kAny, "C200 c0EC8 = 0"},
    {"ContactByNumberOnCoil", "T5=1", Coil, "T5 c0605 = 1"},
    {"TimerValue", "T5=300", Register, "T5 r0605 = 300"},
    {"CounterValue", "C199=7", Register, "C199 r0EC7 = 7"},
    {"NoEquals", "D100", kAny,
     "D100 is not an assignment: write DEVICE=VALUE, as in D100=250 or Y0=on"},
    {"NoDevice", "D10000=1", kAny, "D10000 has no Modbus address: D runs from D0 to D9999"},
    {"DeviceOffTheTable", "D100=1", Coil,
     "D100 has no coil entry: it is a holding register (1064, 404197)"},
    {"Input", "X17=1", kAny, "X17=1: X17 is an input, and inputs are read-only"},
    {"InputView", "Y0=1", Input,
     "Y0=1: the discrete-input view of Y0 is read-only: write it as a coil"},
    {"Counter32Bit", "C200=5", Register,
     "C200=5: C200 holds a 32-bit value, and how the controller packs it into a register is not "
     "established"},
    {"NumberWithoutTable", "T5=1", kAny,
     "T5=1: T5 is a contact and a value: on or off sets the contact; for a number, say which table "
     "(coil or holding register)"},
    {"CoilTwo", "Y0=2", kAny, "Y0=2: a coil takes 1, 0, on or off"},
    {"CoilHex", "Y0=0x1", kAny, "Y0=0x1: a coil takes 1, 0, on or off"},
    {"PastLargest", "D100=65536", kAny, std::string("D100=65536").append(kWordRange)},
    {"PastMostNegative", "D100=-32769", kAny, std::string("D100=-32769").append(kWordRange)},
    {"HexPastFFFF", "D100=0x10000", kAny, std::string("D100=0x10000").append(kWordRange)},
    {"PlusSign", "D100=+5", kAny, std::string("D100=+5").append(kWordRange)},
    {"OnForARegister", "D100=on", kAny, std::string("D100=on").append(kWordRange)},
    {"NoValue", "D100=", kAny, std::string("D100=").append(kWordRange)},
    {"SecondEquals", "D100==5", kAny, std::string("D100==5").append(kWordRange)},
};
INSTANTIATE_TEST_SUITE_P(Assignments, ReadAssignmentTest, testing::ValuesIn(kAssignmentCases),
                         RowName<AssignmentCase>);

}  // namespace
