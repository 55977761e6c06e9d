// Reading what a user names for zentriq-poll: single items go to LookUp unchanged, so a device
// reads the same in every tool; ranges and assignments are built on top of it.
#include "conversion/poll_items.h"

#include <algorithm>
#include <charconv>

#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::Failure;
using detail::Restrict;
using detail::SegmentsOf;

namespace {

constexpr std::string_view kRangeForm =
    "a range runs from a device to one of the same letter, "
    "as in D100-D109 or D100-109";

ItemEntries FromLookup(LookupResult result) {
    ItemEntries item;
    item.entries.assign(result.found().begin(), result.found().end());
    item.error = result.error;
    item.message = std::move(result.message);
    return item;
}

ItemEntries BadRange(std::string_view item, std::string_view why) {
    ItemEntries result;
    result.error = LookupError::BadRange;
    result.message = text::ascii::Joined({DisplayText(item), " is not a range of devices: ", why});
    return result;
}

bool IsDeviceForm(std::string_view text) {
    return text.size() > 1 && text::ascii::Upper(text[0]) >= 'A' &&
           text::ascii::Upper(text[0]) <= 'Z' &&
           std::all_of(text.begin() + 1, text.end(), text::ascii::IsDigit);
}

// One end of a range read as a device: "D109", or "109" after the first end's `letter`. Gives the
// device's entries, or a message saying why the end is none.
LookupResult RangeEnd(std::string_view end, char letter) {
    std::string name;
    if (letter != 0 && !end.empty() && std::all_of(end.begin(), end.end(), text::ascii::IsDigit)) {
        name.assign(1, letter).append(end);
    } else if (IsDeviceForm(end)) {
        name.assign(end);
    } else {
        return Failure(LookupError::BadRange, std::string(kRangeForm));
    }
    // H starts a hex address for LookUp (H1064); in a range it can only be a letter typed wrong.
    if (SegmentsOf(text::ascii::Upper(name[0])).empty()) {
        return Failure(
            LookupError::BadRange,
            DisplayText(name) + " is not a device: the device letters are S, X, Y, T, M, C and D");
    }
    return LookUp(name);
}

ItemEntries ReadRange(std::string_view item, std::string_view first_text,
                      std::string_view last_text, std::optional<ModbusTable> table) {
    const LookupResult first = RangeEnd(first_text, 0);
    if (!first.ok()) {
        return BadRange(item, first.message);
    }
    const Device low = first.entries[0].device;
    const LookupResult last = RangeEnd(last_text, low.letter);
    if (!last.ok()) {
        return BadRange(item, last.message);
    }
    const Device high = last.entries[0].device;
    if (high.letter != low.letter) {
        return BadRange(item, text::ascii::Joined({DeviceName(low), " and ", DeviceName(high),
                                                   " are devices of different letters"}));
    }
    if (high.number < low.number) {
        return BadRange(item, text::ascii::Joined({"its first device, ", DeviceName(low),
                                                   ", comes after its last, ", DeviceName(high)}));
    }
    const std::uint32_t count = high.number - low.number + 1;
    if (count > kMostRangeDevices) {
        return BadRange(
            item, text::ascii::Joined({"it names ", std::to_string(count), " devices, more than ",
                                       std::to_string(kMostRangeDevices)}));
    }
    ItemEntries result;
    result.entries.reserve(std::size_t{count} * 2);
    for (std::uint32_t number = low.number; number <= high.number; ++number) {
        LookupResult device = EntriesOf({low.letter, number});
        if (table) {
            Restrict(device, *table);
        }
        result.entries.insert(result.entries.end(), device.found().begin(), device.found().end());
    }
    if (result.entries.empty() && table) {
        // Every device of a letter lies on the same tables: the first one says why.
        const LookupResult why = LookUp(DeviceName(low), table);
        result.error = LookupError::NotInTable;
        result.message = text::ascii::Joined({DisplayText(item), ": ", why.message});
    }
    return result;
}

std::optional<std::uint16_t> WordValue(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        std::uint16_t value = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        // from_chars refuses a value past FFFF, so leading zeros need no count of digits.
        if (ec != std::errc{} || end != digits.data() + digits.size()) {
            return std::nullopt;
        }
        return value;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < -32768 ||
        value > 65535) {
        return std::nullopt;
    }
    // A negative value is written as its two's complement: -3 is FFFD.
    return static_cast<std::uint16_t>(value < 0 ? value + 65536 : value);
}

std::optional<std::uint16_t> BitValue(std::string_view text) {
    if (text == "1" || text::ascii::SameIgnoringCase(text, "on")) {
        return 1;
    }
    if (text == "0" || text::ascii::SameIgnoringCase(text, "off")) {
        return 0;
    }
    return std::nullopt;
}

}  // namespace

ItemEntries ReadItem(std::string_view item, std::optional<ModbusTable> table, BareNumbers numbers) {
    const std::string_view text = text::ascii::Trimmed(item);
    // No form LookUp reads has a '-', so one makes the item a range.
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        LookupResult result = LookUp(text, table, numbers);
        std::string note = ReadingNote(text, result, table, numbers);
        ItemEntries read = FromLookup(std::move(result));
        read.note = std::move(note);
        return read;
    }
    return ReadRange(text, text::ascii::Trimmed(text.substr(0, dash)),
                     text::ascii::Trimmed(text.substr(dash + 1)), table);
}

text::Result<Assignment> ReadAssignment(std::string_view text, std::optional<ModbusTable> table,
                                        BareNumbers numbers) {
    const std::string_view whole = text::ascii::Trimmed(text);
    const auto refused = [&](std::string_view why) {
        return text::Failure{text::ascii::Joined({DisplayText(whole), ": ", why})};
    };
    const std::size_t equals = whole.find('=');
    if (equals == std::string_view::npos) {
        return text::Failure{DisplayText(whole) +
                             " is not an assignment: write DEVICE=VALUE, as in D100=250 or Y0=on"};
    }
    const std::string_view value_text = text::ascii::Trimmed(whole.substr(equals + 1));
    const std::string_view target = text::ascii::Trimmed(whole.substr(0, equals));
    LookupResult found = LookUp(target, table, numbers);
    if (!found.ok()) {
        return text::Failure{std::move(found.message)};
    }
    // A write goes where it was meant or nowhere: a number that could be meant more than one way
    // is taken only when the list says how it means its numbers, even where one way alone names
    // a device (40001 is D7233 as a decimal address, and was perhaps meant as 4x0001).
    if (BareNumberReadings(target, numbers) > 1) {
        const std::string note = ReadingNote(target, found, table, numbers);
        return refused(DisplayText(target) + " is a bare number" +
                       (note.empty() ? "" : " (" + note + ")") + ": write the device (" +
                       DeviceName(found.entries[0].device) + "), an address in an explicit form " +
                       "(0x" + AddressText(found.entries[0].address) +
                       ") or say how numbers are meant (--numbers)");
    }
    const MapEntry* coil = nullptr;
    const MapEntry* word = nullptr;
    for (const MapEntry& entry : found.found()) {
        if (entry.segment->table == ModbusTable::DiscreteInput) {
            return refused(DeviceName(entry.device) + " is an input, and inputs are read-only");
        }
        if (entry.table == ModbusTable::DiscreteInput) {
            return refused("the discrete-input view of " + DeviceName(entry.device) +
                           " is read-only: write it as a coil");
        }
        (entry.table == ModbusTable::Coil ? coil : word) = &entry;
    }
    const std::optional<std::uint16_t> bit = BitValue(value_text);
    const bool on_off = bit && !text::ascii::IsDigit(value_text[0]);
    if (coil != nullptr && (word == nullptr || on_off)) {
        if (!bit) {
            return refused("a coil takes 1, 0, on or off");
        }
        return Assignment{*coil, *bit};
    }
    if (coil != nullptr) {
        return refused(DeviceName(coil->device) +
                       " is a contact and a value: on or off sets the contact; for a number, "
                       "say which table (coil or holding register)");
    }
    if (word->width == DataWidth::DoubleWord) {
        return refused(DeviceName(word->device) +
                       " holds a 32-bit value, and how the controller packs it into a register is "
                       "not established");
    }
    const std::optional<std::uint16_t> value = WordValue(value_text);
    if (!value) {
        return refused("a register takes 0 to 65535, -32768 to -1, or 0x0000 to 0xFFFF");
    }
    return Assignment{*word, *value};
}

}  // namespace conversion
