// Typed values both ways: the words shown as their type says, and typed assignments read into the
// words to write, low word first.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "scan/typed_values.h"
#include "test_names.h"

namespace {

using conversion::ValueType;

struct ShownCase {
    const char* name;
    ValueType type;
    std::uint16_t low;
    std::uint16_t high;
    const char* shown;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ShownCase)

const ShownCase kShownCases[] = {
    {"FloatLowWordFirst", ValueType::F32, 0x0000, 0x41AC, "21.5"},
    {"FloatShortestThatReadsBack", ValueType::F32, 0xCCCD, 0x3DCC, "0.1"},
    {"TinyFloat", ValueType::F32, 0xBF95, 0x33D6, "1e-07"},
    {"NegativeZero", ValueType::F32, 0x0000, 0x8000, "-0"},
    {"Infinity", ValueType::F32, 0x0000, 0x7F80, "inf"},
    {"NotANumber", ValueType::F32, 0x0001, 0x7FC0, "nan"},
    {"SignedDoubleWord", ValueType::I32, 0x7960, 0xFFFE, "-100000"},
    {"UnsignedDoubleWord", ValueType::U32, 0xFFFF, 0xFFFF, "4294967295"},
    {"SignedWord", ValueType::I16, 0xFFFD, 0, "-3"},
    {"UnsignedWord", ValueType::U16, 0xFFFD, 0, "65533"},
    {"Bit", ValueType::Bool, 1, 0, "1"},
};

class TypedValueTextTest : public testing::TestWithParam<ShownCase> {};

TEST_P(TypedValueTextTest, ShowsTheWordsAsTheirTypeSays) {
    const auto& row = GetParam();
    EXPECT_EQ(scan::TypedValueText(row.type, row.low, row.high), row.shown);
}

INSTANTIATE_TEST_SUITE_P(Table, TypedValueTextTest, testing::ValuesIn(kShownCases),
                         RowName<ShownCase>);

// "D200=0x0000 D201=0x41AC", or the message of a refusal.
std::string Written(const char* text) {
    const auto read = scan::ReadTypedAssignment(text);
    if (const auto* failure = std::get_if<text::Failure>(&read)) {
        return failure->message;
    }
    std::string shown;
    for (const auto& assignment : std::get<std::vector<conversion::Assignment>>(read)) {
        char word[8];
        std::snprintf(word, sizeof word, "%04X", assignment.value);
        shown += (shown.empty() ? "" : " ") + conversion::DeviceName(assignment.entry.device) +
                 "=0x" + word;
    }
    return shown;
}

struct WrittenCase {
    const char* name;
    const char* assignment;
    const char* written;  // the words, or a part of the refusal
};
ZENTRIQ_PRINT_ROW_AS_NAME(WrittenCase)

const WrittenCase kWrittenCases[] = {
    {"FloatLowWordFirst", "D200:f32=21.5", "D200=0x0000 D201=0x41AC"},
    {"FloatWithExponent", "D200:f32 = 1e-3", "D200=0x126F D201=0x3A83"},
    {"NegativeInteger", "D202:i32=-100000", "D202=0x7960 D203=0xFFFE"},
    {"IntegerInHex", "D202:i32=0xFFFFFFFF", "D202=0xFFFF D203=0xFFFF"},
    {"UnsignedPastSigned", "D202:u32=4294967295", "D202=0xFFFF D203=0xFFFF"},
    {"UntypedAsBefore", "D100=-3", "D100=0xFFFD"},
    {"UnsignedWord", "D100:u16=65535", "D100=0xFFFF"},
    {"BitTyped", "M0:bool=on", "M0=0x0001"},
    {"TimerContactByBool", "T5:bool=1", "T5=0x0001"},
    {"TimerValueByU16", "T5:u16=300", "T5=0x012C"},
    {"FloatNotFinite", "D200:f32=inf", "f32 takes a finite number"},
    {"FloatNotANumber", "D200:f32=twenty", "f32 takes a finite number"},
    {"IntegerPastItsType", "D202:i32=2147483648", "i32 takes -2147483648"},
    {"UnsignedNegative", "D202:u32=-1", "u32 takes 0 to 4294967295"},
    {"SignedWordPastItsType", "D100:i16=40000", "i16 takes -32768 to 32767"},
    {"UnsignedWordNegative", "D100:u16=-1", "u16 takes 0 to 65535"},
    {"ARangeIsNoOneValue", "D200-D203:f32=1", "name one device to write"},
    {"NoConsecutiveRegister", "D4095:i32=1", "D4095"},
    {"ABitAsAFloat", "M0:f32=1", "M0 is a bit"},
    {"AnInputAsABit", "X0:bool=1", "X0 is an input"},
};

class TypedAssignmentTest : public testing::TestWithParam<WrittenCase> {};

TEST_P(TypedAssignmentTest, WritesTheWordsItsTypeGivesOrRefuses) {
    const auto& row = GetParam();
    EXPECT_NE(Written(row.assignment).find(row.written), std::string::npos)
        << Written(row.assignment);
}

INSTANTIATE_TEST_SUITE_P(Table, TypedAssignmentTest, testing::ValuesIn(kWrittenCases),
                         RowName<WrittenCase>);

}  // namespace
