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
    for (const auto& [word, named, coil] : kTypeWords) {
        if (named == type && !coil) {
            return word;
        }
    }
    return {};
}

std::optional<TypeWord> FindTypeWord(std::string_view word) noexcept {
    const std::string_view trimmed = text::ascii::Trimmed(word);
    for (const TypeWord& type : kTypeWords) {
        if (text::ascii::SameIgnoringCase(trimmed, type.word)) {
            return type;
        }
    }
    return std::nullopt;
}

std::string NotATypeText(std::string_view word) {
    std::string text = DisplayText(text::ascii::Trimmed(word)) + " is not a type: the types are ";
    for (std::size_t i = 0; i < kTypeWords.size(); ++i) {
        const std::string_view separator = i == 0                   ? ""
                                           : i + 1 == kOwnTypeWords ? " and "
                                           : i == kOwnTypeWords     ? " (also written "
                                                                    : ", ";
        text.append(separator).append(kTypeWords[i].word);
    }
    return text + ")";
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
        if (const auto type = FindTypeWord(word)) {
            return {text::ascii::Trimmed(whole.substr(0, colon)), type->type, word, type->coil};
        }
    }
    return {whole, std::nullopt};
}

TypedItem ReadTypedItem(std::string_view text, std::optional<ModbusTable> table,
                        BareNumbers numbers) {
    const std::string_view whole = text::ascii::Trimmed(text);
    const TypedText split = SplitTypedItem(whole);
    const auto type = split.type;
    ItemEntries read = ReadItem(split.item, table, numbers);
    TypedItem typed;
    typed.note = std::move(read.note);
    if (!read.ok()) {
        // "D100:float64": a device, then a word that is no type (a reference's digits are not).
        const std::size_t colon = whole.rfind(':');
        const std::string_view after =
            colon == std::string_view::npos ? "" : text::ascii::Trimmed(whole.substr(colon + 1));
        if (!type && !after.empty() && !text::ascii::IsDigit(after.front()) &&
            text::ascii::IsAlnum(after.front()) &&
            ReadItem(whole.substr(0, colon), table, numbers).ok()) {
            return Refused(whole, NotATypeText(after));
        }
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
        if (IsBit(entry) == bits && (!split.coil || entry.table == ModbusTable::Coil)) {
            entries.push_back(entry);
        }
    }
    const std::string type_name(split.word);
    if (entries.empty()) {
        const MapEntry& first_entry = read.entries.front();
        const std::string first = DeviceName(first_entry.device);
        if (split.coil) {
            return Refused(whole, first +
                                      (IsBit(first_entry) ? " is an input; " : " is a register; ") +
                                      type_name + " is for coils, which an engine may also write");
        }
        return Refused(
            whole, bits ? first + " is a register; " + type_name + " is for bits (coils and inputs)"
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
