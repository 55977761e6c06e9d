// Items read with the type of their value: "D200:f32", "D100:u16", "M0:bool", "D200-D209:f32".
// The controller keeps a 32-bit value in two consecutive D registers, the low word at the lower
// address; a type the devices cannot hold is refused with the reason, rather than read across two
// devices that are not one value.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_map.h"

namespace conversion {

enum class ValueType : std::uint8_t { Bool, I16, U16, I32, U32, F32 };

// A type as a tag list or an item writes it. The project's own words first, each the name
// TypeName gives; then the names other tools write for the same types, so a list exported from
// them reads as meant: the IEC 61131-3 names the controller's programming software and most HMI
// tag exports use (INT and WORD are 16 bits there, DINT and DWORD 32, REAL a 32-bit float), and
// the engines' own (int16 ... float32). "float" is a 32-bit float, the only float the controller
// keeps. A 64-bit type (LREAL, double) is none of these: the controller keeps no such value.
// Words are read whatever their case.
struct TypeWord {
    std::string_view word;
    ValueType type;
    // "switch": a bit an engine may also write, so a coil (never an input); read as a bool.
    bool coil = false;
};
inline constexpr std::size_t kOwnTypeWords = 7;
inline constexpr std::array<TypeWord, 21> kTypeWords{{
    {"bool", ValueType::Bool}, {"switch", ValueType::Bool, true}, {"i16", ValueType::I16},
    {"u16", ValueType::U16},   {"i32", ValueType::I32},           {"u32", ValueType::U32},
    {"f32", ValueType::F32},   {"BOOL", ValueType::Bool},         {"INT", ValueType::I16},
    {"UINT", ValueType::U16},  {"WORD", ValueType::U16},          {"DINT", ValueType::I32},
    {"UDINT", ValueType::U32}, {"DWORD", ValueType::U32},         {"REAL", ValueType::F32},
    {"float", ValueType::F32}, {"int16", ValueType::I16},         {"uint16", ValueType::U16},
    {"int32", ValueType::I32}, {"uint32", ValueType::U32},        {"float32", ValueType::F32},
}};

// The type word `word` names (blanks around it left out, any case); none when it names none.
std::optional<TypeWord> FindTypeWord(std::string_view word) noexcept;

// Why `word` is no type, naming it as written: "float64 is not a type: the types are bool,
// switch, i16, u16, i32, u32 and f32 (also written BOOL, INT, ...)".
std::string NotATypeText(std::string_view word);

// "bool", "i16", ... as kTypeWords writes them.
std::string_view TypeName(ValueType type) noexcept;

constexpr bool IsDoubleWord(ValueType type) noexcept {
    return type == ValueType::I32 || type == ValueType::U32 || type == ValueType::F32;
}

// The type an entry's value has when none is said: bool for a bit, i16 for a D register (the
// controller reads it signed), u16 for a timer's or counter's value.
ValueType DefaultType(const MapEntry& entry) noexcept;

// One value of a typed item: its entry (for a 32-bit value, the register of its low word) and,
// for a 32-bit value, the register of its high word, at the next address.
struct TypedValue {
    MapEntry entry;
    std::optional<MapEntry> high;
    ValueType type = ValueType::U16;
};

struct TypedItem {
    std::vector<TypedValue> values;
    LookupError error = LookupError::None;
    std::string message;
    std::string note;  // how a bare number was read, when it could be meant other ways

    bool ok() const noexcept { return error == LookupError::None; }
};

// An item and the type written after its last ':', when the text there is one of kTypeWords
// ("D200:f32"); the whole text and no type otherwise ("4:4197", "D100"). Blanks around either are
// left out. `word` is the type as written ("REAL", "switch"), for messages; `coil` is set for
// "switch".
struct TypedText {
    std::string_view item;
    std::optional<ValueType> type;
    std::string_view word = {};
    bool coil = false;
};
TypedText SplitTypedItem(std::string_view text) noexcept;

// Reads an item as ReadItem does, and a type after its last ':' when the text there is one of
// kTypeWords ("4:4197" stays a reference). Without a type, every entry with its DefaultType. With
// one, the entries of the table the type reads (bool: a bit, T and C by their contact; switch: a
// coil; the others: a register, T and C by their value; `table`, when given, must agree), each a
// value of that type; a 32-bit type takes two D registers for each value, its low word first, a
// range two by two. Refused with BadType and the reason, naming the type as written: a bit as a
// number or a register as bool (M0:f32, X0:u16, D100:bool), an input as a switch (X0:switch), a
// 32-bit type on a timer or counter value (16 bits, or C200-C255 whose packing is not
// established), a last register with no next one (D9999:i32) or a next one at no consecutive
// address (D4095:i32: D4096 stands at 0x9000), a range of an odd number of registers; and a word
// after the last ':' that names no type where the text before it names a device (D100:float64),
// with NotATypeText.
TypedItem ReadTypedItem(std::string_view text, std::optional<ModbusTable> table = std::nullopt,
                        BareNumbers numbers = BareNumbers::Any);

}  // namespace conversion
