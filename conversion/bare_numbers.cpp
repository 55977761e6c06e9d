// A bare number read every way it can be meant. The tool's own columns write an address in hex
// without a prefix (1064), monitoring tools and SCADA configs write it in decimal (4196), HMI tag
// lists as a reference (404197, 44197): a number with no mark of its notation is tried as each,
// and answered only when the readings that name a device agree. A guess would name another device
// with no word: 45056 is M1536 as a decimal address and D959 as the reference 4x5056.
#include <algorithm>
#include <array>
#include <charconv>

#include "conversion/bare_number_readings.h"
#include "conversion/device_map.h"
#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::AllDecimal;
using detail::Failure;
using detail::Reading;
using detail::Readings;
using detail::ReadingsOf;

namespace {

bool SameDevices(const LookupResult& a, const LookupResult& b) {
    return std::equal(a.found().begin(), a.found().end(), b.found().begin(), b.found().end(),
                      [](const MapEntry& x, const MapEntry& y) {
                          return x.device == y.device && x.table == y.table;
                      });
}

std::string HexAddress(std::uint16_t address) {
    return "0x" + AddressText(address);
}

// "the reference 4x5056", written so that it cannot be read another way.
std::string ReferenceName(const Reading& reading) {
    if (reading.reference_kind == '0') {
        return detail::ReferenceText(ModbusTable::Coil, reading.address);
    }
    return std::string(1, reading.reference_kind) + "x" + std::string(reading.offset);
}

// How the reading is said: "hex, as the converter window writes it", "the decimal address 1064 =
// 0x0428", "the reference 4x5056".
std::string Said(const Reading& reading) {
    switch (reading.form) {
        case NumberForm::Hex:
            return "hex, as the converter window writes it";
        case NumberForm::Decimal:
            return "the decimal address " + std::to_string(reading.address) + " = " +
                   HexAddress(reading.address);
        default:
            return "the reference " + ReferenceName(reading);
    }
}

// How to write the reading's address so that nothing else can be meant.
std::string Unambiguous(std::string_view text, const Reading& reading) {
    switch (reading.form) {
        case NumberForm::Hex:
            return "0x" + std::string(text);
        case NumberForm::Decimal:
            return HexAddress(reading.address);
        default:
            return ReferenceName(reading);
    }
}

// "M1536", "T5", "M0 and D1": the devices a reading names.
std::string DevicesNamed(const LookupResult& result) {
    std::string names;
    for (const auto& entry : result.found()) {
        const std::string name = DeviceName(entry.device);
        if (names != name && names.find(" and " + name) == std::string::npos) {
            names += (names.empty() ? "" : " and ") + name;
        }
    }
    return names;
}

// What a reading gave, for a reading that names nothing on the table asked.
std::string Outcome(const Reading& reading, std::optional<ModbusTable> table) {
    if (reading.form == NumberForm::Reference && reading.reference_kind == '3') {
        return "it is an input register, and the controller has none";
    }
    if (table && reading.anywhere.ok()) {
        return "it is " + DevicesNamed(reading.anywhere) + ", which has no " +
               std::string(TableName(*table)) + " entry";
    }
    if (reading.form == NumberForm::Hex) {
        return HexAddress(reading.address) + " names no device";
    }
    return "it names no device";
}

std::string Alternative(const Reading& reading, std::optional<ModbusTable> table) {
    if (reading.form == NumberForm::Hex) {
        // "as hex, 0x4096 names no device" rather than naming the window twice.
        return "as hex, " + Outcome(reading, table);
    }
    return "as " + Said(reading) + ", " + Outcome(reading, table);
}

}  // namespace

bool IsBareNumber(std::string_view item) noexcept {
    const std::string_view text = text::ascii::Trimmed(item);
    if (text.empty() || !std::all_of(text.begin(), text.end(), text::ascii::IsHexDigit)) {
        return false;
    }
    // C and D are device letters as well as hex digits: C12 and D0100 are devices, and no device
    // lies at an address from C000 to DFFF, so a text that starts with either is never hex.
    const char letter = text::ascii::Upper(text[0]);
    return letter != 'C' && letter != 'D';
}

std::size_t BareNumberReadings(std::string_view item, BareNumbers numbers) {
    if (!IsBareNumber(item)) {
        return 0;
    }
    return ReadingsOf(text::ascii::Trimmed(item), std::nullopt, numbers).count;
}

LookupResult detail::LookUpBareNumber(std::string_view text, std::optional<ModbusTable> table,
                                      BareNumbers numbers) {
    const Readings readings = ReadingsOf(text, table, numbers);
    const auto all = std::span(readings.list).first(readings.count);
    const Reading* answer = nullptr;
    bool agree = true;  // every reading names the same devices
    bool several = false;
    for (const auto& reading : all) {
        agree = agree && reading.found.ok();
        if (!reading.found.ok()) {
            continue;
        }
        if (answer == nullptr) {
            answer = &reading;
        } else if (!SameDevices(answer->found, reading.found)) {
            several = true;
        }
    }
    if (answer != nullptr && !several) {
        LookupResult result = answer->found;
        if (!agree) {
            result.read_as = answer->form;
        }
        return result;
    }
    const std::string shown = DisplayText(text);
    if (several) {
        std::string message = shown + " is ambiguous:";
        std::string writes;
        for (const auto& reading : all) {
            if (reading.found.ok()) {
                // "as hex, as the converter window writes it, it is D100"
                message += (writes.empty() ? " as " : "; as ") + Said(reading) +
                           (reading.form == NumberForm::Hex ? ", it is " : " it is ") +
                           DevicesNamed(reading.found);
                writes += (writes.empty() ? "" : " or ") + Unambiguous(text, reading);
            }
        }
        return Failure(
            LookupError::Ambiguous,
            message + "; write " + writes + ", or say how a list means its numbers (--numbers)");
    }
    if (readings.count == 0) {
        // No reading gives an address at all: say why in the terms of what the text looks like.
        const bool reference_shape = AllDecimal(text) && (text.size() == 5 || text.size() == 6);
        if (reference_shape && (numbers == BareNumbers::Any || numbers == BareNumbers::Reference)) {
            return LookUpReference(text, *ReferenceShape(text), table);
        }
        if (numbers == BareNumbers::Reference) {
            return Failure(LookupError::NotAnItem,
                           shown +
                               " is not a reference: a reference has five or six digits "
                               "(44197, 404197)");
        }
        return Failure(LookupError::AddressOutOfRange,
                       shown + (numbers == BareNumbers::Any
                                    ? " is no address in any reading: past FFFF in hex and 65535 "
                                      "in decimal, and no reference"
                                    : " is past the last Modbus address (FFFF, 65535)"));
    }
    if (readings.count == 1) {
        const Reading& only = readings.list[0];
        if (only.form == NumberForm::Reference) {
            return LookUpReference(text, *ReferenceShape(text), table);
        }
        if (only.form == NumberForm::Hex) {
            return LookUpHex(text, text, table);
        }
        if (table && only.anywhere.ok()) {
            return Failure(LookupError::NotInTable,
                           shown + " has no " + std::string(TableName(*table)) + " entry: as " +
                               Said(only) + " it is " + DevicesNamed(only.anywhere));
        }
        return Failure(LookupError::NoDeviceAtAddress,
                       shown + " names no device (read as " + Said(only) + ")");
    }
    std::string message = shown + " names no device in any reading:";
    for (std::size_t i = 0; i < readings.count; ++i) {
        message += (i == 0 ? " " : "; ") + Alternative(readings.list[i], table);
    }
    return Failure(LookupError::NoDeviceAtAddress, std::move(message));
}

std::string ReadingNote(std::string_view item, const LookupResult& result,
                        std::optional<ModbusTable> table, BareNumbers numbers) {
    if (result.read_as == NumberForm::None || !IsBareNumber(item)) {
        return {};
    }
    const std::string_view text = text::ascii::Trimmed(item);
    const Readings readings = ReadingsOf(text, table, numbers);
    std::string taken;
    std::string others;
    for (const auto& reading : std::span(readings.list).first(readings.count)) {
        if (reading.found.ok()) {
            taken = "read as " + Said(reading);
        } else {
            others.append("; ").append(Alternative(reading, table));
        }
    }
    return taken.append(others);
}

}  // namespace conversion
