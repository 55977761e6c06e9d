#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "conversion/address_map.h"
#include "conversion/device_index.h"
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
    std::optional<ModbusTable> table{};  // the one table asked for; every table when empty
};
ZENTRIQ_PRINT_ROW_AS_NAME(FoundCase)

class LookUpFinds : public testing::TestWithParam<FoundCase> {};

TEST_P(LookUpFinds, TheEntriesOfTheMakersTable) {
    const auto& c = GetParam();
    const auto result = LookUp(c.item, c.table);
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
        // A discrete-input view of a coil device keeps the device's own segment.
        EXPECT_EQ(got.segment->letter, got.device.letter) << i;
        EXPECT_GE(got.device.number, got.segment->first_number) << i;
        EXPECT_LE(got.device.number, got.segment->last_number) << i;
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
        FoundCase{"FirstReference", "000001", {{"S0", Coil, 0x0000, 1, Bit}}},
        FoundCase{"HexOfFourDigitsAfter0x", "0x0001", {{"S1", Coil, 0x0001, 2, Bit}}},
        FoundCase{"HexOfSixDigitsAfter0x", "0x000001", {{"S1", Coil, 0x0001, 2, Bit}}},
        FoundCase{"HexOfFiveZerosIsNoCoilReference", "0x00000", {{"S0", Coil, 0x0000, 1, Bit}}},
        FoundCase{"FirstFiveDigitCoil", "00001", {{"S0", Coil, 0x0000, 1, Bit}}},
        FoundCase{"FiveDigitCoil", "01281", {{"Y0", Coil, 0x0500, 1281, Bit}}},
        FoundCase{"FiveDigitRegister", "44197", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"LastFiveDigitD", "48192", {{"D4095", Register, 0x1FFF, 408192, Word}}},
        FoundCase{"FiveDigitInputOfX", "11040", {{"X17", Input, 0x040F, 101040, Bit}}},
        FoundCase{"FiveDigitInputOfS", "10001", {{"S0", Input, 0x0000, 100001, Bit}}},
        FoundCase{"PrefixedFirst", "4x1537", {{"T0", Register, 0x0600, 401537, Word}}},
        FoundCase{"Prefixed", "4x4197", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"PrefixedLeadingZero", "4x04197", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"PrefixedUpperCase", "4X4197", {{"D100", Register, 0x1064, 404197, Word}}},
        FoundCase{"PrefixedFiveDigits", "4x42768", {{"D9999", Register, 0xA70F, 442768, Word}}},
        FoundCase{"PrefixedInputOfY", "1x1281", {{"Y0", Input, 0x0500, 101281, Bit}}},
        FoundCase{"PrefixedInputOfX", "1x1040", {{"X17", Input, 0x040F, 101040, Bit}}},
        FoundCase{"InputReferenceOfS", "100001", {{"S0", Input, 0x0000, 100001, Bit}}},
        FoundCase{"InputReferenceOfY", "101281", {{"Y0", Input, 0x0500, 101281, Bit}}},
        FoundCase{"InputReferenceOfM", "145057", {{"M1536", Input, 0xB000, 145057, Bit}}},
        FoundCase{"InputReferenceOfATimer", "101542", {{"T5", Input, 0x0605, 101542, Bit}}},
        FoundCase{"TimerContactOnly", "T5", {{"T5", Coil, 0x0605, 1542, Bit}}, Coil},
        FoundCase{"TimerValueOnly", "T5", {{"T5", Register, 0x0605, 401542, Word}}, Register},
        FoundCase{"TimerReadWith02", "t5", {{"T5", Input, 0x0605, 101542, Bit}}, Input},
        FoundCase{"OutputReadWith02", "Y0", {{"Y0", Input, 0x0500, 101281, Bit}}, Input},
        FoundCase{"InputReadWith02", "X17", {{"X17", Input, 0x040F, 101040, Bit}}, Input},
        FoundCase{
            "CounterValueOnly", "C200", {{"C200", Register, 0x0EC8, 403785, Double}}, Register},
        FoundCase{"AddressValueOnly", "0x0600", {{"T0", Register, 0x0600, 401537, Word}}, Register},
        FoundCase{"AddressReadWith02", "600h", {{"T0", Input, 0x0600, 101537, Bit}}, Input},
        FoundCase{"ReferenceOfTheTableAsked",
                  "404197",
                  {{"D100", Register, 0x1064, 404197, Word}},
                  Register},
        FoundCase{"InputReferenceAsked", "1x1281", {{"Y0", Input, 0x0500, 101281, Bit}}, Input}),
    RowName<FoundCase>);

struct ErrorCase {
    const char* name;
    std::string item;
    LookupError error;
    std::string message;  // empty: any message that names the item
    std::optional<ModbusTable> table{};
};
ZENTRIQ_PRINT_ROW_AS_NAME(ErrorCase)

class LookUpRefuses : public testing::TestWithParam<ErrorCase> {};

TEST_P(LookUpRefuses, WithATypedErrorAndAMessage) {
    const auto& c = GetParam();
    const auto result = LookUp(c.item, c.table);
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
        ErrorCase{"NoInputAtARegisterReference", "104197", LookupError::NoDeviceAtAddress,
                  "no device at reference 104197 (discrete input 1064)"},
        ErrorCase{"InputRegisters", "300001", LookupError::NoDeviceAtAddress, ""},
        ErrorCase{"FiveDigitInputRegisters", "30001", LookupError::NoDeviceAtAddress,
                  "30001 names no device in any reading: as the decimal address 30001 = 0x7531, "
                  "it names no device; as the reference 3x0001, it is an input register, and the "
                  "controller has none"},
        ErrorCase{"PrefixedInputRegisters", "3x1", LookupError::NoDeviceAtAddress,
                  "3x1 is an input register reference (3x): the controller has none"},
        ErrorCase{"FiveDigitCoilZero", "00000", LookupError::AddressOutOfRange, ""},
        ErrorCase{"LastFiveDigitReference", "49999", LookupError::NoDeviceAtAddress,
                  "49999 names no device in any reading: as the decimal address 49999 = 0xC34F, "
                  "it names no device; as the reference 4x9999, it names no device"},
        ErrorCase{"FiveDigitsOfNoTable", "54197", LookupError::NoDeviceAtAddress,
                  "54197 names no device (read as the decimal address 54197 = 0xD3B5)"},
        ErrorCase{"PrefixedFirstHasNoDevice", "4x1", LookupError::NoDeviceAtAddress,
                  "no device at reference 4x1 (holding register 0000)"},
        ErrorCase{"PrefixedLastHasNoDevice", "4x65536", LookupError::NoDeviceAtAddress, ""},
        ErrorCase{"PrefixedPastItsTable", "4x65537", LookupError::AddressOutOfRange,
                  "4x65537 is outside the references of its table (4x1-4x65536)"},
        ErrorCase{"PrefixedZero", "1x0", LookupError::AddressOutOfRange, ""},
        ErrorCase{"PrefixedSixDigits", "4x000001", LookupError::NotAnItem,
                  "4x000001 is not a reference: 4x takes 1 to 5 digits (4x1-4x65536)"},
        ErrorCase{"PrefixOfNoTable", "2x100", LookupError::NotAnItem,
                  "2x100 is not a reference: the prefixes are 1x (discrete inputs) and 4x "
                  "(holding registers), as in 4x4197; 0x starts a hex address"},
        ErrorCase{"PrefixAlone", "4x", LookupError::NotAnItem, ""},
        ErrorCase{"FirstAmbiguous", "0x00001", LookupError::Ambiguous,
                  "0x00001 is ambiguous: as hex it is address 0001 (write 0001h or H0001); as a "
                  "coil reference it is address 0000 (write 000001)"},
        ErrorCase{"Ambiguous", "0X04197", LookupError::Ambiguous,
                  "0X04197 is ambiguous: as hex it is address 4197 (write 4197h or H4197); as a "
                  "coil reference it is address 1064 (write 004197)"},
        ErrorCase{"LastAmbiguous", "0x09999", LookupError::Ambiguous, ""},
        ErrorCase{"AmbiguousWhateverTheTable", "0x00001", LookupError::Ambiguous, "", Register},
        ErrorCase{"InputHasNoCoil", "X17", LookupError::NotInTable,
                  "X17 has no coil entry: X is read-only, a discrete input (040F, 101040)", Coil},
        ErrorCase{"InputHasNoRegister", "x17", LookupError::NotInTable,
                  "X17 has no holding register entry: it is a discrete input (040F, 101040)",
                  Register},
        ErrorCase{"RegisterHasNoCoil", "D0100", LookupError::NotInTable,
                  "D100 has no coil entry: it is a holding register (1064, 404197)", Coil},
        ErrorCase{"RegisterIsNoInput", "D100", LookupError::NotInTable,
                  "D100 has no discrete input entry: it is a holding register (1064, 404197)",
                  Input},
        ErrorCase{"CoilHasNoRegister", "M1536", LookupError::NotInTable,
                  "M1536 has no holding register entry: it is a coil (B000, 045057)", Register},
        ErrorCase{"AddressOfARegisterOnly", "0x1064", LookupError::NotInTable,
                  "0x1064 has no coil entry: it is D100, a holding register (1064, 404197)", Coil},
        ErrorCase{"AddressOfAnInputOnly", "H40F", LookupError::NotInTable,
                  "H40F has no coil entry: it is X17, a discrete input (040F, 101040); X is "
                  "read-only",
                  Coil},
        ErrorCase{"AddressOfACoilOnly", "0500h", LookupError::NotInTable,
                  "0500h has no holding register entry: it is Y0, a coil (0500, 001281)", Register},
        ErrorCase{"AddressOfNothingInAnyTable", "0x0700", LookupError::NoDeviceAtAddress,
                  "no device at address 0x0700", Input},
        ErrorCase{"ReferenceOfAnotherTable", "404197", LookupError::NotInTable,
                  "404197 has no coil entry: it is a holding register reference (address 1064)",
                  Coil},
        ErrorCase{"InputReferenceIsNoCoil", "1x1281", LookupError::NotInTable,
                  "1x1281 has no coil entry: it is a discrete input reference (address 0500)",
                  Coil},
        ErrorCase{"CoilReferenceIsNoInput", "01281", LookupError::NotInTable, "", Input},
        ErrorCase{"RangeBeforeTable", "4x0", LookupError::AddressOutOfRange, "", Coil},
        ErrorCase{"NoSuchDeviceWhateverTheTable", "T256", LookupError::NoSuchDevice,
                  "T256 has no Modbus address: T runs from T0 to T255", Coil},
        ErrorCase{"InputRegistersWhateverTheTable", "300001", LookupError::NoDeviceAtAddress, "",
                  Register},
        ErrorCase{"ReferenceZero", "400000", LookupError::AddressOutOfRange, ""},
        ErrorCase{"ReferencePastItsTable", "465537", LookupError::AddressOutOfRange, ""},
        ErrorCase{"HexPastFFFF", "0x10000", LookupError::AddressOutOfRange,
                  "0x10000 is past the last Modbus address, FFFF"},
        ErrorCase{"HexNotHex", "0x10G4", LookupError::NotAnItem, ""},
        ErrorCase{"PlainNumberIsAmbiguous", "1064", LookupError::Ambiguous, ""},
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

// Asked for one table, each device gives its entries on that table, and they map back to it there;
// a device with none there says so. Function code 02 reads every bit device.
TEST(DeviceMap, EveryDeviceRoundTripsOnEachTable) {
    constexpr std::pair<char, std::uint32_t> kLast[] = {
        {'S', 1023}, {'X', 0377}, {'Y', 0377}, {'T', 255}, {'M', 4095}, {'C', 255}, {'D', 9999}};
    int found[3] = {};
    for (const auto table : {Coil, Input, Register}) {
        for (const auto& [letter, last] : kLast) {
            for (std::uint32_t n = 0; n <= last; ++n) {
                const std::string name = conversion::DeviceName({letter, n});
                const auto result = LookUp(name, table);
                if (!result.ok()) {
                    EXPECT_EQ(result.error, LookupError::NotInTable) << name;
                    continue;
                }
                ASSERT_EQ(result.found().size(), 1u) << name;
                const auto& entry = result.found()[0];
                EXPECT_EQ(entry.table, table) << name;
                const auto back = conversion::DevicesAt(entry.address, table);
                ASSERT_EQ(back.found().size(), 1u) << name;
                EXPECT_EQ(back.found()[0].device, entry.device) << name;
                ++found[static_cast<int>(table)];
            }
        }
    }
    EXPECT_EQ(found[static_cast<int>(Coil)], 1024 + 256 + 256 + 4096 + 256);
    EXPECT_EQ(found[static_cast<int>(Input)], 1024 + 256 + 256 + 256 + 4096 + 256);
    EXPECT_EQ(found[static_cast<int>(Register)], 256 + 256 + 10000);
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

// The dense numbering: every device's canonical name numbers it, and LookUp finds that device
// there; anything that is not a letter and at most five digits is left to LookUp.
TEST(PlainDeviceIndex, NumbersEveryDeviceOnceAsLookUpFindsIt) {
    std::vector<bool> seen(conversion::kDeviceCount);
    for (std::size_t index = 0; index < conversion::kDeviceCount; ++index) {
        const auto device = conversion::DeviceNumbered(index);
        const std::string name = conversion::DeviceName(device);
        ASSERT_EQ(conversion::PlainDeviceIndex(name), index) << name;
        const auto found = LookUp(name);
        ASSERT_TRUE(found.ok()) << name;
        EXPECT_EQ(found.entries[0].device, device) << name;
        seen[index] = true;
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
    EXPECT_EQ(conversion::kDeviceCount, 1024U + 256 + 256 + 256 + 4096 + 256 + 10000);
}

TEST(PlainDeviceIndex, LeavesEveryOtherShapeToLookUp) {
    for (const char* item : {"",
                             "D",
                             "D-1",
                             "D10000",
                             "X8",
                             "X400",
                             "Y9",
                             "S1024",
                             "T256",
                             "C256",
                             "M4096",
                             "Q1",
                             "H100",
                             "D1 ",
                             " D1",
                             "DD1",
                             "D000001",
                             "D1.0",
                             "Dx1",
                             "\xff"
                             "1"}) {
        EXPECT_EQ(conversion::PlainDeviceIndex(item), conversion::kDeviceCount) << item;
    }
    EXPECT_EQ(conversion::PlainDeviceIndex("d0100"), conversion::PlainDeviceIndex("D100"));
    EXPECT_EQ(conversion::PlainDeviceIndex("x17"), conversion::PlainDeviceIndex("X17"));
}
