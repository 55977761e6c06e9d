// The controller's whole Modbus address map, as the PLC maker publishes it: every device of the DVP
// series that can be reached over Modbus, with its table, zero-based address, six-digit reference,
// data width and function codes. It answers both ways: a device name gives the one or two entries
// of that device, an address gives the devices there.
//
// This is a second interface beside the window's rules (address_map.h), which stay as they are. The
// two agree for every device of the first segment of each letter; past D4095 the window's
// arithmetic and this map part ways, and this map is the controller's.
//
// Nothing here throws (but std::bad_alloc when building an error message) and nothing keeps state.
// A successful lookup allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace conversion {

enum class ModbusTable : std::uint8_t { Coil, DiscreteInput, HoldingRegister };

enum class DataWidth : std::uint8_t { Bit, Word, DoubleWord };

// One row of the maker's table: the devices `letter` first_number..last_number sit at consecutive
// addresses from first_address on. Numbers are values; X and Y numbers are written in octal.
struct AddressSegment {
    char letter;
    std::string_view what;
    std::uint32_t first_number;
    std::uint32_t last_number;
    ModbusTable table;
    std::uint16_t first_address;
    DataWidth width;

    constexpr std::uint16_t last_address() const {
        return static_cast<std::uint16_t>(first_address + (last_number - first_number));
    }
};

// The maker's table, in its order. T and C appear twice over the same numbers: a contact on the
// coil table and a value on the register table at the same address.
inline constexpr std::array<AddressSegment, 12> kAddressSegments{{
    {'S', "step relay", 0, 1023, ModbusTable::Coil, 0x0000, DataWidth::Bit},
    {'X', "input", 0, 0377, ModbusTable::DiscreteInput, 0x0400, DataWidth::Bit},
    {'Y', "output", 0, 0377, ModbusTable::Coil, 0x0500, DataWidth::Bit},
    {'T', "timer contact", 0, 255, ModbusTable::Coil, 0x0600, DataWidth::Bit},
    {'T', "timer value", 0, 255, ModbusTable::HoldingRegister, 0x0600, DataWidth::Word},
    {'M', "auxiliary relay", 0, 1535, ModbusTable::Coil, 0x0800, DataWidth::Bit},
    {'M', "auxiliary relay", 1536, 4095, ModbusTable::Coil, 0xB000, DataWidth::Bit},
    {'C', "counter contact", 0, 255, ModbusTable::Coil, 0x0E00, DataWidth::Bit},
    {'C', "counter value", 0, 199, ModbusTable::HoldingRegister, 0x0E00, DataWidth::Word},
    {'C', "counter value", 200, 255, ModbusTable::HoldingRegister, 0x0EC8, DataWidth::DoubleWord},
    {'D', "data register", 0, 4095, ModbusTable::HoldingRegister, 0x1000, DataWidth::Word},
    {'D', "data register", 4096, 9999, ModbusTable::HoldingRegister, 0x9000, DataWidth::Word},
}};

// The number a word of `segment`'s devices holds, as the controller reads it: a D register holds a
// signed 16-bit number (-32768 to 32767, two's complement); a timer's or counter's value is
// unsigned, and so is a word with no segment known (nullptr).
constexpr std::int32_t HeldNumber(const AddressSegment* segment, std::uint16_t word) noexcept {
    if (segment != nullptr && segment->letter == 'D') {
        return static_cast<std::int16_t>(word);
    }
    return word;
}

// A device of the controller: its letter (upper case) and its number as a value (X17 is {'X', 15}).
struct Device {
    char letter;
    std::uint32_t number;

    friend constexpr bool operator==(Device, Device) = default;
};

// One place of a device in the map. Function code 02 reads the coil devices too (S, Y, T, M and C
// as well as X), so a coil device can also be answered on the discrete-input table: that view has
// `table` DiscreteInput (reference 1xxxxx, read with 02 only, never written) and keeps the device's
// own segment and width, whose `table` stays Coil.
struct MapEntry {
    Device device;
    ModbusTable table;
    std::uint16_t address;  // zero-based, as sent on the wire
    DataWidth width;
    const AddressSegment* segment;
};

enum class LookupError : std::uint8_t {
    None,
    NotAnItem,          // neither a device name nor an address notation
    UnknownLetter,      // a letter and a number, but no device letter
    NotOctal,           // an X or Y number with the digit 8 or 9
    NoSuchDevice,       // a device number outside every segment of its letter
    AddressOutOfRange,  // past FFFF, or a reference outside its table
    NoDeviceAtAddress,  // a valid address where the map has no device
    Ambiguous,          // read several ways that name different devices (1064, 45056, 0x04197)
    NotInTable,         // an item that has entries, but none on the table asked for
    BadRange,           // a range whose ends are no devices of one letter in order
    BadType,            // a type the item's devices cannot hold (M0:f32, D4095:i32)
};

// How a bare number (digits, or hex digits with no prefix: 1064, 45056, B000) can be meant: as hex
// written as the converter window writes it, as a decimal address, or as a five- or six-digit
// reference. Any: every way it can be; the others: a list written in that one notation.
enum class BareNumbers : std::uint8_t { Any, Hex, Decimal, Reference };

// The words a command line says how bare numbers are meant with (--numbers).
struct NumbersWord {
    std::string_view word;
    BareNumbers numbers;
};
inline constexpr std::array<NumbersWord, 3> kNumbersWords{{
    {"hex", BareNumbers::Hex},
    {"decimal", BareNumbers::Decimal},
    {"reference", BareNumbers::Reference},
}};

// The reading a bare number's answer came from, when another reading named nothing.
enum class NumberForm : std::uint8_t { None, Hex, Decimal, Reference };

// What a lookup found: up to two entries (a bit device and a register device share an address; T
// and C have a contact and a value), or an error with a message a user understands.
struct LookupResult {
    std::array<MapEntry, 2> entries{};
    std::uint8_t count = 0;
    LookupError error = LookupError::None;
    std::string message;
    // A bare number that could be meant more than one way, of which this one alone named a device:
    // ReadingNote says which, and what the others gave.
    NumberForm read_as = NumberForm::None;

    bool ok() const { return error == LookupError::None; }
    std::span<const MapEntry> found() const { return {entries.data(), count}; }
};

// The canonical name of a device: upper-case letter, number without leading zeros, X and Y in octal
// ("X17").
std::string DeviceName(Device device);

// The six-digit reference of an address in a table (000001 + address for coils, 100001 + address
// for discrete inputs, 400001 + address for holding registers), as a number.
std::uint32_t ReferenceOf(ModbusTable table, std::uint16_t address) noexcept;

// The function codes the controller accepts to read or to write a device of `table`, in increasing
// order ({1, 2} and {5, 15} for coils; {2} and none for discrete inputs; {3} and {6, 16} for
// holding registers).
std::span<const std::uint8_t> ReadCodes(ModbusTable table) noexcept;
std::span<const std::uint8_t> WriteCodes(ModbusTable table) noexcept;

// The words the tool shows: "coil", "discrete input", "holding register"; "bit", "word",
// "double word".
std::string_view TableName(ModbusTable table) noexcept;

// The words a command line names a table with (--table), long and short.
struct TableWord {
    std::string_view word;
    ModbusTable table;
};
inline constexpr std::array<TableWord, 6> kTableWords{{
    {"coil", ModbusTable::Coil},
    {"c", ModbusTable::Coil},
    {"discrete-input", ModbusTable::DiscreteInput},
    {"di", ModbusTable::DiscreteInput},
    {"holding-register", ModbusTable::HoldingRegister},
    {"hr", ModbusTable::HoldingRegister},
}};
std::string_view WidthName(DataWidth width) noexcept;

// The entries of one device, bit entry first. `number` is the device's value (X/Y already read in
// octal). Gives nothing for a letter that is no device letter or a number outside its segments.
LookupResult EntriesOf(Device device);

// The devices at a zero-based `address`, the bit device (coil or discrete input) first. With
// `table` set, only what that table answers there: the coil device for Coil, the register device
// for HoldingRegister, and for DiscreteInput the bit device whichever its table, as function code
// 02 reads it (X as itself, a coil device as its discrete-input view). An address where nothing
// lies, or nothing of `table`, gives NoDeviceAtAddress.
LookupResult DevicesAt(std::uint16_t address, std::optional<ModbusTable> table = std::nullopt);

// Reads one item as a user types it and looks it up. Surrounding spaces and tabs are ignored.
//   a device:    a device letter (either case) and decimal digits, X and Y in octal: D100, d100,
//                X17, D0100. Gives its entries, bit entry first (T and C have two).
//   a hex address, written so: 0x1064, 1064h, H1064, 16#1064 (IEC 61131-3), $1064 or &H1064
//                (either case, 1 to 4 significant digits), looked up in every table as
//                DevicesAt(address) does.
//   a reference, one-based, looked up in its own table (a discrete-input reference answers every
//                bit device that function code 02 reads there, as DevicesAt does):
//                a prefix 1x or 4x (either case) and 1 to 5 digits (offset 1-65536: 4x4197,
//                4X04197, 1x1281). 0x is no such prefix: it starts a hex address.
//   a bare number: hex digits and nothing else, not a device name (1064, 45056, 0605, B000,
//                404197). It is read every way `numbers` allows, each reading on `table`:
//                  hex as the converter window writes it: 1 to 4 hex digits (0605, B000);
//                  a decimal address 0-65535, never with a leading zero (4096 is 0x1000);
//                  a five-digit reference 0xxxx, 1xxxx, 3xxxx, 4xxxx (offset 0001-9999: 44197);
//                  a six-digit reference 0xxxxx, 1xxxxx, 3xxxxx, 4xxxxx (offset 00001-65536).
//                Only readings that name a device count, and readings that name the same devices
//                are one. One: its answer, with `read_as` set when another reading named nothing.
//                Several: Ambiguous, with a message that gives each reading's device and the way
//                to write it unambiguously. None: one message that says what each reading gave.
//                With `numbers` other than Any only that reading is tried (then a decimal may have
//                leading zeros, and hex any number of digits up to FFFF).
// Input registers (3xxxxx, 3xxxx, 3x...) name no device: the controller has none. 0x and exactly
// five decimal digits that read both as an address and as a coil reference (0x00001, 0x04197) give
// Ambiguous, with a message that writes each reading unambiguously.
// With `table` set, only the entries on that table: a device's entry there (DiscreteInput gives a
// coil device's discrete-input view), what DevicesAt(address, table) gives for a hex address; a
// device or address with entries only elsewhere, or a reference of another table, gives
// NotInTable with a message that says what the item is instead. Without `table`, every table.
// Anything else gives an error whose message names the item as typed (unprintable bytes escaped,
// long items cut short), and says how to write an address where the item is another system's
// notation (%MW100, HR4097). Linear in the item's length; never fails; allocates only for a
// message.
LookupResult LookUp(std::string_view item, std::optional<ModbusTable> table = std::nullopt,
                    BareNumbers numbers = BareNumbers::Any);

// The note for an answer whose `read_as` is set: "read as the decimal address 4096 = 0x1000; as
// hex, 0x4096 names no device". Empty for any other result. `item`, `table` and `numbers` as
// given to LookUp.
std::string ReadingNote(std::string_view item, const LookupResult& result,
                        std::optional<ModbusTable> table = std::nullopt,
                        BareNumbers numbers = BareNumbers::Any);

// Whether `item` (blanks around it ignored) is a bare number as LookUp reads one.
bool IsBareNumber(std::string_view item) noexcept;

// How many ways LookUp may read `item` as a bare number with `numbers`, whatever each names: 0 for
// an item that is none, 1 for 0605 (hex only) or 404197 (a reference only), 2 for 4096.
std::size_t BareNumberReadings(std::string_view item, BareNumbers numbers = BareNumbers::Any);

// A stretch of addresses that lies in one segment of bit devices (coils and discrete inputs), or of
// register devices, or in a gap between such segments.
struct AddressRun {
    const AddressSegment* segment;  // nullptr in a gap
    std::uint16_t last;             // the stretch's last address
};

// The stretch that begins at `address` and ends at `last` at the latest, among the bit segments
// when `bit_devices` is set and the register segments otherwise: a range is walked one segment at
// a time rather than one address at a time. A `last` below `address` counts as `address`. Never
// fails.
AddressRun RunAt(std::uint16_t address, std::uint16_t last, bool bit_devices) noexcept;

// The item as an error message shows it: printable ASCII kept, other bytes as \xNN, at most
// `longest` characters of the item followed by "..." when it is longer.
std::string DisplayText(std::string_view item, std::size_t longest = 40);

// A zero-based address as the tool writes it: four upper-case hex digits ("1064").
std::string AddressText(std::uint16_t address);

}  // namespace conversion
