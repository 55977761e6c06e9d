// Items with the type of their value: where each value's words stand, and why a type is refused.
#include <gtest/gtest.h>

#include <string>

#include "conversion/typed_items.h"
#include "test_names.h"

namespace {

using conversion::ModbusTable;

struct TypedCase {
    const char* name;
    const char* text;
    std::optional<ModbusTable> table;
    // "D200 10C8+10C9 f32" per value, or the message
    const char* expected;
};
ZENTRIQ_PRINT_ROW_AS_NAME(TypedCase)

std::string Shown(const conversion::TypedItem& item) {
    if (!item.ok()) {
        return item.message;
    }
    std::string text;
    for (const auto& value : item.values) {
        char where[24];
        std::snprintf(where, sizeof where, "%04X", value.entry.address);
        text +=
            (text.empty() ? "" : ", ") + conversion::DeviceName(value.entry.device) + " " + where;
        if (value.high) {
            std::snprintf(where, sizeof where, "+%04X", value.high->address);
            text += where;
        }
        text += " " + std::string(conversion::TypeName(value.type));
    }
    return text;
}

class ReadTypedItemTest : public testing::TestWithParam<TypedCase> {};

TEST_P(ReadTypedItemTest, PlacesEachValueOrSaysWhyNot) {
    const auto& row = GetParam();
    EXPECT_EQ(Shown(conversion::ReadTypedItem(row.text, row.table)), row.expected);
}

const TypedCase kTypedCases[] = {
    // Without a type, each entry's own.
    {"DefaultOfD", "D100", std::nullopt, "D100 1064 i16"},
    {"DefaultOfTimer", "T5", std::nullopt, "T5 0605 bool, T5 0605 u16"},
    {"DefaultOfInput", "X17", std::nullopt, "X17 040F bool"},
    {"NoTypeAfterTheColon", "D100:f64", std::nullopt,
     "D100:f64: f64 is not a type: the types are bool, switch, i16, u16, i32, u32 and f32 (also "
     "written BOOL, INT, UINT, WORD, DINT, UDINT, DWORD, REAL, float, int16, uint16, int32, "
     "uint32, float32)"},
    {"NeitherDeviceNorType", "Q5:f64", std::nullopt,
     "Q5:f64 is neither a device (such as D100, X17 or M1536) nor an address (0x1064, 1064h, "
     "H1064, or a six-digit reference such as 404197)"},
    {"DigitsAfterTheColonAreNoType", "D100:4197", std::nullopt,
     "D100:4197 is neither a device (such as D100, X17 or M1536) nor an address (0x1064, 1064h, "
     "H1064, or a six-digit reference such as 404197)"},
    // The names other tools write for the same types.
    {"IecReal", "D200:REAL", std::nullopt, "D200 10C8+10C9 f32"},
    {"IecDint", "D200:dint", std::nullopt, "D200 10C8+10C9 i32"},
    {"IecWord", "D100:WORD", std::nullopt, "D100 1064 u16"},
    {"IecInt", "D100:INT", std::nullopt, "D100 1064 i16"},
    {"IecBool", "M1:BOOL", std::nullopt, "M1 0801 bool"},
    {"PlainFloat", "D200:float", std::nullopt, "D200 10C8+10C9 f32"},
    {"EngineFloat32", "D200:float32", std::nullopt, "D200 10C8+10C9 f32"},
    // A switch is a coil: T and C by their contact, never an input.
    {"SwitchOnACoil", "Y0:switch", std::nullopt, "Y0 0500 bool"},
    {"SwitchOnATimer", "T5:Switch", std::nullopt, "T5 0605 bool"},
    {"SwitchOnAnInput", "X0:switch", std::nullopt,
     "X0:switch: X0 is an input; switch is for coils, which an engine may also write"},
    {"SwitchOnARegister", "D210:switch", std::nullopt,
     "D210:switch: D210 is a register; switch is for coils, which an engine may also write"},
    {"TheTypeAsWritten", "D210:BOOL", std::nullopt,
     "D210:BOOL: D210 is a register; BOOL is for bits (coils and inputs)"},
    // A type chooses the table of a timer or counter.
    {"TimerValue", "T5:u16", std::nullopt, "T5 0605 u16"},
    {"TimerContact", "T5:bool", std::nullopt, "T5 0605 bool"},
    {"SignedAndUnsigned", "D100:U16", std::nullopt, "D100 1064 u16"},
    {"BlanksAroundTheType", " D100 : i16 ", std::nullopt, "D100 1064 i16"},
    // 32 bits: two D registers, the low word first.
    {"Float", "D200:f32", std::nullopt, "D200 10C8+10C9 f32"},
    {"SecondSegment", "D4096:i32", std::nullopt, "D4096 9000+9001 i32"},
    {"RangeTwoByTwo", "D200-D205:u32", std::nullopt,
     "D200 10C8+10C9 u32, D202 10CA+10CB u32, D204 10CC+10CD u32"},
    {"ByAddress", "0x10C8:f32", std::nullopt, "D200 10C8+10C9 f32"},
    // Refused, with the reason.
    {"BitAsFloat", "M0:f32", std::nullopt, "M0:f32: M0 is a bit; f32 is for registers"},
    {"InputAsWord", "X0:u16", std::nullopt, "X0:u16: X0 is a bit; u16 is for registers"},
    {"RegisterAsBool", "D100:bool", std::nullopt,
     "D100:bool: D100 is a register; bool is for bits (coils and inputs)"},
    {"PastTheLast", "D9999:i32", std::nullopt,
     "D9999:i32: D9999 is the last register: a 32-bit value needs the one after it"},
    {"NotConsecutive", "D4095:i32", std::nullopt,
     "D4095:i32: D4095 and D4096 are not at consecutive addresses (0x1FFF and 0x9000)"},
    {"TimerAs32Bits", "T5:i32", std::nullopt,
     "T5:i32: T5 is a 16-bit timer value; a 32-bit value stands in two D registers"},
    {"WideCounter", "C200:u32", std::nullopt,
     "C200:u32: C200 holds a 32-bit counter value whose packing is not established"},
    {"WideCounterAsWord", "C200:u16", std::nullopt,
     "C200:u16: C200 holds a 32-bit counter value whose packing is not established"},
    {"OddRange", "D200-D204:f32", std::nullopt,
     "D200-D204:f32: 5 registers; f32 takes them two by two, the low word first"},
    {"RangeOverTheGapInPairs", "D4094-D4097:i32", std::nullopt,
     "D4094 1FFE+1FFF i32, D4096 9000+9001 i32"},
    {"RangeAcrossTheGap", "D4095-D4098:i32", std::nullopt,
     "D4095-D4098:i32: D4095 and D4096 are not at consecutive addresses (0x1FFF and 0x9000)"},
    {"TableDisagrees", "D100:bool", ModbusTable::HoldingRegister,
     "D100:bool: D100 is a register; bool is for bits (coils and inputs)"},
    {"NoDevice", "Q5:u16", std::nullopt,
     "Q5 is not a device: the device letters are S, X, Y, T, M, C and D"},
};
INSTANTIATE_TEST_SUITE_P(Items, ReadTypedItemTest, testing::ValuesIn(kTypedCases),
                         RowName<TypedCase>);

}  // namespace
