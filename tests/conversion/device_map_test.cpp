#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/address_map.h"
#include "conversion/device_map.h"
#include "test_names.h"

namespace {

using conversion::DataWidth;
using conversion::LookUp;
using conversion::LookupError;
using conversion::ModbusTable;

constexpr auto Coil = ModbusTable::Coil, Input = ModbusTable::DiscreteInput,
               Register = ModbusTable::HoldingRegister;
constexpr auto Bit = DataWidth::Bit, Word = DataWidth::Word, Double = DataWidth::DoubleWord;

// One entry as the tool prints it.
struct Entry {
    std::string device;
    ModbusTable table;
    unsigned address;
    unsigned reference;
    DataWidth width;
};

struct FoundCase {
    const char* name;
    std::string item;
    std::vector<Entry> expected;
};
ZENTRIQ_PRINT_ROW_AS_NAME(FoundCase)

class LookUpFinds : public testing::TestWithParam<FoundCase> {};

TEST_P(LookUpFinds, TheEntriesOfTheMakersTable) {
    const auto& c = GetParam();
    const auto result = LookUp(c.item);
    ASSERT_TRUE(result.ok()) << result.message;
    ASSERT_EQ(result.found().size(), c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        const auto& got = result.found()[i];
        const auto& want = c.expected[i];
        EXPECT_EQ(conversion::DeviceName(got.device), want.device) << i;
        EXPECT_EQ(got.table, want.table) << i;
        EXPECT_EQ(got.address, want.address) << i;
        EXPECT_EQ(conversion::ReferenceOf(got.table, got.address), want.reference) << i;
        EXPECT_EQ(got.width, want.width) << i;
    }
}

// The worked examples of the maker's table, then the first and last device of every segment.
INSTANTIATE_TEST_SUITE_P(
    DeviceMap, LookUpFinds,
    testing::Values(
        FoundCase{"D100", "D100", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"LowerCaseLetter", "d100", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"LeadingZerosAndBlanks", " \tD0100 ", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"M1536", "M1536", {{"M1536", Coil, 0xB000, 45057, Bit}}},
        FoundCase{"X17IsOctal", "X17", {{"X17", Input, 0x040F, 101040, Bit}}},
        FoundCase{"Y20IsOctal", "Y20", {{"Y20", Coil, 0x0510, 1297, Bit}}},
        FoundCase{"T5ContactAndValue",
                  "T5",
                  {{"T5", Coil, 0x0605, 1542, Bit}, {"T5", Register, 0x0605, 401542, Word}}},
        FoundCase{"C200IsADoubleWord",
                  "C200",
                  {{"C200", Coil, 0x0EC8, 3785, Bit}, {"C200", Register, 0x0EC8, 403785, Double}}},
        FoundCase{"C199IsAWord",
                  "C199",
                  {{"C199", Coil, 0x0EC7, 3784, Bit}, {"C199", Register, 0x0EC7, 403784, Word}}},
        FoundCase{"D4096", "D4096", {{"D4096", Register, 0x9000, 436865, Word}}},
        FoundCase{"D9999", "D9999", {{"D9999", Register, 0xA70F, 442768, Word}}},
        FoundCase{"D4095", "D4095", {{"D4095", Register, 0x1FFF, 408192, Word}}},
        FoundCase{"S0", "S0", {{"S0", Coil, 0x0000, 1, Bit}}},
        FoundCase{"S1023", "S1023", {{"S1023", Coil, 0x03FF, 1024, Bit}}},
        FoundCase{"X377", "X377", {{"X377", Input, 0x04FF, 101280, Bit}}},
        FoundCase{"Y377", "y377", {{"Y377", Coil, 0x05FF, 1536, Bit}}},
        FoundCase{"M1535", "M1535", {{"M1535", Coil, 0x0DFF, 3584, Bit}}},
        FoundCase{"M4095", "M4095", {{"M4095", Coil, 0xB9FF, 47616, Bit}}},
        FoundCase{"HexWithPrefix", "0x1064", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"HexWithSuffix", "1064h", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"HexWithLetterH", "H1064", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"HexLowerCase", "0xb9ff", {{"M4095", Coil, 0xB9FF, 47616, Bit}}},
        FoundCase{"HexZero", "0h", {{"S0", Coil, 0x0000, 1, Bit}}},
        FoundCase{"HexOnBothTables",
                  "0x0600",
                  {{"T0", Coil, 0x0600, 1537, Bit}, {"T0", Register, 0x0600, 401537, Word}}},
        FoundCase{"HexOnADiscreteInput", "40Fh", {{"X17", Input, 0x040F, 101040, Bit}}},
        FoundCase{"ReferenceOfARegister", "404197", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"ReferenceOfACoil", "001542", {{"T5", Coil, 0x0605, 1542, Bit}}},
        FoundCase{"ReferenceOfAnInput", "101040", {{"X17", Input, 0x040F, 101040, Bit}}},
        FoundCase{"ReferenceOfATimerValue", "401542", {{"T5", Register, 0x0605, 401542, Word}}},
        FoundCase{"FirstReference", "000001", {{"S0", Coil, 0x0000, 1, Bit}}}),
    RowName<FoundCase>);

struct ErrorCase {
    const char* name;
    std::string item;
    LookupError error;
    std::string message;  // empty: any message that names the item
};
ZENTRIQ_PRINT_ROW_AS_NAME(ErrorCase)

class LookUpRefuses : public testing::TestWithParam<ErrorCase> {};

TEST_P(LookUpRefuses, WithATypedErrorAndAMessage) {
    const auto& c = GetParam();
    const auto result = LookUp(c.item);
    EXPECT_EQ(result.error, c.error);
    EXPECT_TRUE(result.found().empty());
    if (!c.message.empty()) {
        EXPECT_EQ(result.message, c.message);
    } else {
        EXPECT_FALSE(result.message.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    DeviceMap, LookUpRefuses,
    testing::Values(
        ErrorCase{"X18IsNotOctal", "X18", LookupError::NotOctal,
                  "X18 is not an X number: X and Y are numbered in octal (X0-X7, X10-X17, ...)"},
        ErrorCase{"Y9IsNotOctal", "y9", LookupError::NotOctal,
                  "Y9 is not a Y number: X and Y are numbered in octal (Y0-Y7, Y10-Y17, ...)"},
        ErrorCase{"S1024", "S1024", LookupError::NoSuchDevice,
                  "S1024 has no Modbus address: S runs from S0 to S1023"},
        ErrorCase{"X400", "X400", LookupError::NoSuchDevice,
                  "X400 has no Modbus address: X runs from X0 to X377"},
        ErrorCase{"T256", "T256", LookupError::NoSuchDevice, ""},
        ErrorCase{"M4096", "M4096", LookupError::NoSuchDevice, ""},
        ErrorCase{"C256", "C256", LookupError::NoSuchDevice, ""},
        ErrorCase{"D10000", "D10000", LookupError::NoSuchDevice,
                  "D10000 has no Modbus address: D runs from D0 to D9999"},
        ErrorCase{"HugeNumber", "D" + std::string(5000, '9'), LookupError::NoSuchDevice, ""},
        ErrorCase{"UnknownLetter", "Q5", LookupError::UnknownLetter,
                  "Q5 is not a device: the device letters are S, X, Y, T, M, C and D"},
        ErrorCase{"NoDeviceBetweenSegments", "0x0700", LookupError::NoDeviceAtAddress,
                  "no device at address 0x0700"},
        ErrorCase{"NoInputAtACoilReference", "100001", LookupError::NoDeviceAtAddress,
                  "no device at reference 100001 (discrete input 0000)"},
        ErrorCase{"InputRegisters", "300001", LookupError::NoDeviceAtAddress, ""},
        ErrorCase{"ReferenceZero", "400000", LookupError::AddressOutOfRange, ""},
        ErrorCase{"ReferencePastItsTable", "465537", LookupError::AddressOutOfRange, ""},
        ErrorCase{"HexPastFFFF", "0x10000", LookupError::AddressOutOfRange,
                  "0x10000 is past the last Modbus address, FFFF"},
        ErrorCase{"HexNotHex", "0x10G4", LookupError::NotAnItem, ""},
        ErrorCase{"PlainNumberIsAmbiguous", "1064", LookupError::NotAnItem, ""},
        ErrorCase{"FractionalNumber", "D1.5", LookupError::NotAnItem, ""},
        ErrorCase{"LetterAlone", "D", LookupError::NotAnItem, ""},
        ErrorCase{"Empty", "  ", LookupError::NotAnItem, ""},
        ErrorCase{"BinaryBytesAreEscaped", std::string("D1\0\xff", 4), LookupError::NotAnItem,
                  "D1\\x00\\xFF is neither a device (such as D100, X17 or M1536) nor an address "
                  "(0x1064, 1064h, H1064, or a six-digit reference such as 404197)"}),
    RowName<ErrorCase>);

// Every device of the map found by name maps back to itself by address, in the same table.
TEST(DeviceMap, EveryDeviceRoundTripsThroughItsAddress) {
    for (const auto& segment : conversion::kAddressSegments) {
        for (auto n = segment.first_number; n <= segment.last_number; ++n) {
            const auto by_name = LookUp(conversion::DeviceName({segment.letter, n}));
            ASSERT_TRUE(by_name.ok()) << by_name.message;
            for (const auto& entry : by_name.found()) {
                const auto back = conversion::DevicesAt(entry.address, entry.table);
                ASSERT_EQ(back.found().size(), 1u);
                EXPECT_EQ(back.found()[0].device, entry.device);
            }
        }
    }
}

// The window's rules under "SS/ES/EX" and the map give the same address for every device of the
// map, except D4096 and up, which that series does not have: there the window writes 1000 + n and
// the controller's address is 9000 + (n - 4096).
TEST(DeviceMap, AgreesWithTheWindowsRules) {
    constexpr std::pair<char, conversion::DeviceKind> kKinds[] = {
        {'S', conversion::DeviceKind::S}, {'X', conversion::DeviceKind::X},
        {'Y', conversion::DeviceKind::Y}, {'T', conversion::DeviceKind::T},
        {'M', conversion::DeviceKind::M}, {'C', conversion::DeviceKind::C},
        {'D', conversion::DeviceKind::D}};
    int compared = 0;
    for (const auto& segment : conversion::kAddressSegments) {
        const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                       [&](const auto& k) { return k.first == segment.letter; });
        for (auto n = segment.first_number; n <= segment.last_number; ++n) {
            const std::string name = conversion::DeviceName({segment.letter, n});
            const auto window = conversion::ModbusAddressFor(kind->second, name.substr(1),
                                                             conversion::PlcSeries::SS);
            ASSERT_TRUE(window && !window->empty()) << name;
            const auto window_address = std::strtoul(window->c_str(), nullptr, 16);
            const auto map_address = LookUp(name).found()[0].address;
            if (segment.letter == 'D' && n >= 4096) {
                EXPECT_EQ(window_address, 0x1000 + n) << name;
                EXPECT_EQ(map_address, 0x9000 + n - 4096) << name;
            } else {
                EXPECT_EQ(window_address, map_address) << name;
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, 1024 + 256 + 256 + 256 * 2 + 4096 + 256 + 256 + 10000);
}

TEST(DeviceMap, FunctionCodesFollowTheTable) {
    using Codes = std::vector<int>;
    const auto codes = [](auto span) { return Codes(span.begin(), span.end()); };
    EXPECT_EQ(codes(conversion::ReadCodes(Coil)), (Codes{1, 2}));
    EXPECT_EQ(codes(conversion::WriteCodes(Coil)), (Codes{5, 15}));
    EXPECT_EQ(codes(conversion::ReadCodes(Input)), (Codes{2}));
    EXPECT_EQ(codes(conversion::WriteCodes(Input)), Codes{});
    EXPECT_EQ(codes(conversion::ReadCodes(Register)), (Codes{3}));
    EXPECT_EQ(codes(conversion::WriteCodes(Register)), (Codes{6, 16}));
}

}  // namespace
