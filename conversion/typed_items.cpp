#include "conversion/typed_items.h"

#include "conversion/poll_items.h"
#include "text/ascii_text.h"

namespace conversion {

namespace {

bool IsBit(const MapEntry& entry) noexcept {
    return entry.table != ModbusTable::HoldingRegister;
}

TypedItem Refused(std::string_view text, std::string_view why) {
    TypedItem item;
    item.error = LookupError::BadType;
    item.message = text::ascii::Joined({DisplayText(text), ": ", why});
    return item;
}

// The register after `low`, where it holds the high word of a 32-bit value with `low`; or why
// there is none.
std::optional<MapEntry> HighWordOf(const MapEntry& low, std::string& why) {
    const AddressSegment& segment = *low.segment;
    const std::string name = DeviceName(low.device);
    if (segment.letter != 'D') {
        why = segment.width == DataWidth::DoubleWord
                  ? name + " holds a 32-bit counter value whose packing is not established"
                  : name + " is a 16-bit " + std::string(segment.what) +
                        "; a 32-bit value stands in two D registers";
        return std::nullopt;
    }
    if (low.device.number == segment.last_number) {
        const Device next{'D', low.device.number + 1};
        const auto there = LookUp(DeviceName(next), ModbusTable::HoldingRegister);
        why = there.ok() ? name + " and " + DeviceName(next) +
                               " are not at consecutive addresses (0x" + AddressText(low.address) +
                               " and 0x" + AddressText(there.entries[0].address) + ")"
                         : name + " is the last register: a 32-bit value needs the one after it";
        return std::nullopt;
    }
    MapEntry high = low;
    high.device.number += 1;
    high.address = static_cast<std::uint16_t>(low.address + 1);
    return high;
}

}  // namespace

std::string_view TypeName(ValueType type) noexcept {
    for (const auto& [word, named] : kTypeWords) {
        if (named == type) {
            return word;
        }
    }
    return {};
}

ValueType DefaultType(const MapEntry& entry) noexcept {
    if (IsBit(entry)) {
        return ValueType::Bool;
    }
    return entry.device.letter == 'D' ? ValueType::I16 : ValueType::U16;
}

TypedText SplitTypedItem(std::string_view text) noexcept {
    const std::string_view whole = text::ascii::Trimmed(text);
    if (const std::size_t colon = whole.rfind(':'); colon != std::string_view::npos) {
        const std::string_view word = text::ascii::Trimmed(whole.substr(colon + 1));
        for (const auto& [name, named] : kTypeWords) {
            if (text::ascii::SameIgnoringCase(word, name)) {
                return {text::ascii::Trimmed(whole.substr(0, colon)), named};
            }
        }
    }
    return {whole, std::nullopt};
}

TypedItem ReadTypedItem(std::string_view text, std::optional<ModbusTable> table,
                        BareNumbers numbers) {
    const std::string_view whole = text::ascii::Trimmed(text);
    const auto [item, type] = SplitTypedItem(whole);
    ItemEntries read = ReadItem(item, table, numbers);
    TypedItem typed;
    typed.note = std::move(read.note);
    if (!read.ok()) {
        typed.error = read.error;
        typed.message = std::move(read.message);
        return typed;
    }
    if (!type) {
        for (const auto& entry : read.entries) {
            typed.values.push_back({entry, std::nullopt, DefaultType(entry)});
        }
        return typed;
    }
    const bool bits = *type == ValueType::Bool;
    std::vector<MapEntry> entries;
    for (const auto& entry : read.entries) {
        if (IsBit(entry) == bits) {
            entries.push_back(entry);
        }
    }
    const std::string type_name(TypeName(*type));
    if (entries.empty()) {
        const std::string first = DeviceName(read.entries.front().device);
        return Refused(whole, bits ? first + " is a register; bool is for bits (coils and inputs)"
                                   : first + " is a bit; " + type_name + " is for registers");
    }
    if (!IsDoubleWord(*type)) {
        for (const auto& entry : entries) {
            if (entry.width == DataWidth::DoubleWord) {
                return Refused(whole, DeviceName(entry.device) +
                                          " holds a 32-bit counter value whose packing is not "
                                          "established");
            }
            typed.values.push_back({entry, std::nullopt, *type});
        }
        return typed;
    }
    const bool range = entries.size() > 1;
    if (range && entries.size() % 2 != 0) {
        return Refused(whole, std::to_string(entries.size()) + " registers; " + type_name +
                                  " takes them two by two, the low word first");
    }
    for (std::size_t i = 0; i < entries.size(); i += range ? 2 : 1) {
        std::string why;
        const auto high = HighWordOf(entries[i], why);
        if (!high) {
            return Refused(whole, why);
        }
        if (range && entries[i + 1].address != high->address) {
            return Refused(whole, DeviceName(entries[i].device) + " and " +
                                      DeviceName(entries[i + 1].device) +
                                      " are not at consecutive addresses");
        }
        typed.values.push_back({entries[i], high, *type});
    }
    return typed;
}

}  // namespace conversion
