// Bare numbers read every way they can be meant: answered when the readings that name a device
// agree, refused with every reading when they do not; and every address, reference and decimal the
// tool prints, given back, names its own device or is refused as ambiguous.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "conversion/device_map.h"
#include "test_names.h"

namespace {

using conversion::BareNumbers;
using conversion::LookUp;
using conversion::LookupError;
using conversion::ModbusTable;

constexpr auto Register = ModbusTable::HoldingRegister;

// "T5 coil, T5 holding register", or the error's message.
std::string Answer(const conversion::LookupResult& result) {
    if (!result.ok()) {
        return result.message;
    }
    std::string text;
    for (const auto& entry : result.found()) {
        text += (text.empty() ? "" : ", ") + conversion::DeviceName(entry.device) + " " +
                std::string(conversion::TableName(entry.table));
    }
    return text;
}

struct NumberCase {
    const char* name;
    std::string item;
    std::optional<ModbusTable> table;
    BareNumbers numbers;
    LookupError error;
    std::string answer;  // the entries, or the message
    std::string note;    // ReadingNote's text for an answer
};
ZENTRIQ_PRINT_ROW_AS_NAME(NumberCase)

constexpr auto Any = BareNumbers::Any;
constexpr auto None = LookupError::None;

const NumberCase kNumberCases[] = {
    // Two readings that name two devices: refused, each reading written out.
    {"HexOrDecimal",
     "1064",
     {},
     Any,
     LookupError::Ambiguous,
     "1064 is ambiguous: as hex, as the converter window writes it, it is D100; as the decimal "
     "address 1064 = 0x0428 it is X50; write 0x1064 or 0x0428, or say how a list means its "
     "numbers (--numbers)",
     ""},
    {"DecimalOrReference",
     "45056",
     {},
     Any,
     LookupError::Ambiguous,
     "45056 is ambiguous: as the decimal address 45056 = 0xB000 it is M1536; as the reference "
     "4x5056 it is D959; write 0xB000 or 4x5056, or say how a list means its numbers (--numbers)",
     ""},
    {"TimerValueAsAFiveDigitReference", "41537", {}, Any, LookupError::Ambiguous, "", ""},
    // One reading names a device: answered, with a note.
    {"DecimalAddress",
     "4096",
     {},
     Any,
     None,
     "D0 holding register",
     "read as the decimal address 4096 = 0x1000; as hex, 0x4096 names no device"},
    {"DecimalPastTheReferences",
     "40001",
     {},
     Any,
     None,
     "D7233 holding register",
     "read as the decimal address 40001 = 0x9C41; as the reference 4x0001, it names no device"},
    {"FiveDigitReference",
     "44197",
     {},
     Any,
     None,
     "D100 holding register",
     "read as the reference 4x4197; as the decimal address 44197 = 0xACA5, it names no device"},
    {"FirstDecimalOfTheSecondDSegment",
     "36864",
     {},
     Any,
     None,
     "D4096 holding register",
     "read as the decimal address 36864 = 0x9000; as the reference 3x6864, it is an input "
     "register, and the controller has none"},
    {"DiscreteInputReference",
     "11040",
     {},
     Any,
     None,
     "X17 discrete input",
     "read as the reference 1x1040; as the decimal address 11040 = 0x2B20, it names no device"},
    {"TableNarrowsTheReadings", "1064", Register, Any, None, "D100 holding register",
     "read as hex, as the converter window writes it; as the decimal address 1064 = 0x0428, it is "
     "X50, which has no holding register entry"},
    // One reading only, or readings that agree: no note.
    {"LeadingZeroIsHex", "0605", {}, Any, None, "T5 coil, T5 holding register", ""},
    {"TheWindowsOwnAddress", "0800", {}, Any, None, "M0 coil", ""},
    {"HexLetterFirst", "B000", {}, Any, None, "M1536 coil", ""},
    {"LastD", "A70F", {}, Any, None, "D9999 holding register", ""},
    {"ThreeHexDigits", "E00", {}, Any, None, "C0 coil, C0 holding register", ""},
    {"ZeroEitherWay", "0", {}, Any, None, "S0 coil", ""},
    {"FiveDigitCoilReference", "01281", {}, Any, None, "Y0 coil", ""},
    {"FortyThousandIsADecimalAddress", "40000", {}, Any, None, "D7232 holding register", ""},
    {"SixDigitReference", "404197", {}, Any, None, "D100 holding register", ""},
    // A device letter and digits stays a device; C and D never start hex.
    {"CounterNotHex", "C12", {}, Any, None, "C12 coil, C12 holding register", ""},
    {"DWithALeadingZero", "D0100", {}, Any, None, "D100 holding register", ""},
    {"CNeverStartsHex", "CAFE", {}, Any, LookupError::NotAnItem, "", ""},
    // A list that says how it means its numbers.
    {"ListOfReferences", "41537", {}, BareNumbers::Reference, None, "T0 holding register", ""},
    {"ListOfDecimals", "0100", {}, BareNumbers::Decimal, None, "S100 coil", ""},
    {"ListOfHex", "01064", {}, BareNumbers::Hex, None, "D100 holding register", ""},
    {"ReferenceListRefusesFourDigits",
     "1064",
     {},
     BareNumbers::Reference,
     LookupError::NotAnItem,
     "1064 is not a reference: a reference has five or six digits (44197, 404197)",
     ""},
    // Explicit forms are never second-guessed.
    {"Iec", "16#1000", {}, Any, None, "D0 holding register", ""},
    {"Dollar", "$1000", {}, Any, None, "D0 holding register", ""},
    {"BasicHex", "&h1000", {}, Any, None, "D0 holding register", ""},
    {"HexZeroXStaysAmbiguous", "0x04197", {}, Any, LookupError::Ambiguous, "", ""},
    // Nothing in any reading.
    {"NoReadingNamesADevice",
     "49999",
     {},
     Any,
     LookupError::NoDeviceAtAddress,
     "49999 names no device in any reading: as the decimal address 49999 = 0xC34F, it names no "
     "device; as the reference 4x9999, it names no device",
     ""},
    // Other systems' notations say how to write the address.
    {"HoldingRegisterPrefix",
     "HR4097",
     {},
     Any,
     LookupError::NotAnItem,
     "HR4097 is another system's notation: write 4x4097 if 4097 counts from 1, or 0x1001 if it "
     "counts from 0",
     ""},
    {"IecMarker",
     "%MW100",
     {},
     Any,
     LookupError::NotAnItem,
     "%MW100 is another system's notation: write a device by its name (D100) or an address "
     "(0x1064, 4x4197)",
     ""},
};

class BareNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(BareNumberTest, ReadEveryWayItCanBeMeant) {
    const NumberCase& c = GetParam();
    const auto result = LookUp(c.item, c.table, c.numbers);
    EXPECT_EQ(result.error, c.error);
    if (!c.answer.empty()) {
        EXPECT_EQ(Answer(result), c.answer);
    }
    EXPECT_EQ(conversion::ReadingNote(c.item, result, c.table, c.numbers), c.note);
    if (result.ok()) {
        EXPECT_TRUE(result.message.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BareNumberTest, testing::ValuesIn(kNumberCases),
                         RowName<NumberCase>);

// Every address (four hex digits), reference (six digits) and decimal address the tool prints for
// an entry, given back as an item, names that entry's device or is refused as ambiguous.
TEST(BareNumberTest, TheToolsOwnOutputReadsBack) {
    std::size_t checked = 0, ambiguous = 0;
    for (const auto& segment : conversion::kAddressSegments) {
        for (std::uint32_t number = segment.first_number; number <= segment.last_number; ++number) {
            const auto entries = conversion::EntriesOf({segment.letter, number});
            for (const auto& entry : entries.found()) {
                char reference[8];
                std::snprintf(
                    reference, sizeof reference, "%06u",
                    static_cast<unsigned>(conversion::ReferenceOf(entry.table, entry.address)));
                for (const std::string& text :
                     {conversion::AddressText(entry.address), std::string(reference),
                      std::to_string(entry.address)}) {
                    const auto result = LookUp(text);
                    ++checked;
                    if (result.error == LookupError::Ambiguous) {
                        ++ambiguous;
                        continue;
                    }
                    ASSERT_TRUE(result.ok()) << text << ": " << result.message;
                    for (const auto& found : result.found()) {
                        ASSERT_EQ(found.device, entry.device)
                            << text << " names " << conversion::DeviceName(found.device)
                            << ", printed for " << conversion::DeviceName(entry.device);
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 53040U);  // three texts for each of the map's 17,680 entries
    EXPECT_LT(ambiguous, checked / 8) << ambiguous << " of " << checked << " refused as ambiguous";
}

}  // namespace
