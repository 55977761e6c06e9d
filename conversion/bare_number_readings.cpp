// The readings of a bare number: as hex, as a decimal address, as a reference, each looked up.
#include "conversion/bare_number_readings.h"

#include <algorithm>
#include <charconv>

#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion::detail {

namespace {

// The most digits a decimal address may be given with when the list says its numbers are decimal:
// more cannot be an address, and reading stops before any overflow.
constexpr std::size_t kLongestDecimal = 9;

std::optional<std::uint32_t> NumberIn(std::string_view digits, int base) {
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > kLongestDecimal) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

void Add(Readings& readings, Reading reading, std::optional<ModbusTable> table) {
    if (reading.form == NumberForm::Reference) {
        if (reading.reference_kind != '3') {
            reading.anywhere = detail::DevicesThere(reading.address, reading.reference_table);
        } else {
            reading.anywhere.error = LookupError::NoDeviceAtAddress;
        }
        reading.found = reading.anywhere;
        if (table && *table != reading.reference_table) {
            reading.found = {};
            reading.found.error = LookupError::NotInTable;
        }
    } else {
        reading.anywhere = detail::DevicesThere(reading.address, std::nullopt);
        reading.found = table ? detail::DevicesThere(reading.address, table) : reading.anywhere;
    }
    readings.list[readings.count++] = reading;
}

// A five- or six-digit reference's reading, when its offset lies in its table's references.
std::optional<Reading> ReferenceReading(std::string_view text) {
    const auto shape = detail::ReferenceShape(text);
    if (!shape || shape->style == detail::ReferenceStyle::Prefixed) {
        return std::nullopt;
    }
    Reading reading;
    reading.form = NumberForm::Reference;
    reading.reference_kind = shape->kind;
    reading.offset = shape->offset;
    switch (shape->kind) {
        case '0':
            reading.reference_table = ModbusTable::Coil;
            break;
        case '1':
            reading.reference_table = ModbusTable::DiscreteInput;
            break;
        case '3':
        case '4':
            reading.reference_table = ModbusTable::HoldingRegister;
            break;
        default:
            return std::nullopt;
    }
    const auto offset = NumberIn(shape->offset, 10);
    const std::uint32_t last = shape->style == detail::ReferenceStyle::FiveDigits ? 9999 : 0x10000;
    if (!offset || *offset < 1 || *offset > last) {
        return std::nullopt;
    }
    reading.address = static_cast<std::uint16_t>(*offset - 1);
    return reading;
}

// Every reading of `text` that `numbers` allows and that gives an address.
}  // namespace

bool AllDecimal(std::string_view text) {
    return std::all_of(text.begin(), text.end(), text::ascii::IsDigit);
}

Readings ReadingsOf(std::string_view text, std::optional<ModbusTable> table, BareNumbers numbers) {
    Readings readings;
    const bool any = numbers == BareNumbers::Any;
    if (any ? text.size() <= 4 : numbers == BareNumbers::Hex) {
        if (const auto value = NumberIn(text, 16); value && *value <= 0xFFFF) {
            Reading reading;
            reading.form = NumberForm::Hex;
            reading.address = static_cast<std::uint16_t>(*value);
            Add(readings, reading, table);
        }
    }
    // Nobody writes a decimal address with a leading zero: 0605 and 0800 are hex.
    if ((any || numbers == BareNumbers::Decimal) && AllDecimal(text) &&
        (!any || text.size() == 1 || text.front() != '0')) {
        if (const auto value = NumberIn(text, 10); value && *value <= 0xFFFF) {
            Reading reading;
            reading.form = NumberForm::Decimal;
            reading.address = static_cast<std::uint16_t>(*value);
            Add(readings, reading, table);
        }
    }
    if (any || numbers == BareNumbers::Reference) {
        if (const auto reading = ReferenceReading(text)) {
            Add(readings, *reading, table);
        }
    }
    return readings;
}

}  // namespace conversion::detail
