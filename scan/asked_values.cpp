#include "scan/asked_values.h"

#include <map>
#include <utility>

#include "scan/typed_values.h"

namespace scan {

text::Result<std::vector<AskedValue>> ReadAskedItems(
    const std::vector<std::string>& items, std::optional<conversion::ModbusTable> table,
    conversion::BareNumbers numbers, const std::function<void(const std::string&)>& note) {
    std::vector<AskedValue> asked;
    for (const auto& item : items) {
        const auto typed = conversion::ReadTypedItem(item, table, numbers);
        if (!typed.ok()) {
            return text::Failure{typed.message};
        }
        if (!typed.note.empty()) {
            note(conversion::DisplayText(item) + ": " + typed.note);
        }
        const bool said = conversion::SplitTypedItem(item).type.has_value();
        for (const auto& value : typed.values) {
            asked.push_back(
                {value.entry, value.high, said ? std::optional(value.type) : std::nullopt});
        }
    }
    return asked;
}

text::Result<AskedWrites> ReadAskedWrites(const std::vector<std::string>& items,
                                          std::optional<conversion::ModbusTable> table,
                                          conversion::BareNumbers numbers, WriteCodes codes) {
    AskedWrites writes;
    // Which item writes each entry, by table and address: typed items overlap where a 32-bit
    // value's high word is another item's device, and either write would undo the other.
    std::map<std::pair<conversion::ModbusTable, std::uint16_t>, const std::string*> writer;
    for (const auto& item : items) {
        auto read = scan::ReadTypedAssignment(item, table, numbers);
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            return std::move(*failure);
        }
        const auto& words = std::get<std::vector<conversion::Assignment>>(read);
        if (words.size() > 1 && codes == WriteCodes::Single) {
            return text::Failure{conversion::DisplayText(item) +
                                 ": --single would write a 32-bit value in two requests, two "
                                 "unrelated halves: leave --single out, or use --multiple"};
        }
        for (const auto& word : words) {
            const auto [at, fresh] =
                writer.try_emplace({word.entry.table, word.entry.address}, &item);
            if (!fresh) {
                return text::Failure{conversion::DeviceName(word.entry.device) +
                                     " is written twice: by " +
                                     conversion::DisplayText(*at->second) + " and by " +
                                     conversion::DisplayText(item)};
            }
        }
        const auto type = conversion::SplitTypedItem(item.substr(0, item.find('='))).type;
        AskedValue written{words.front().entry, std::nullopt, type};
        if (words.size() > 1) {
            written.high = words[1].entry;
        }
        writes.written.push_back(written);
        writes.assignments.insert(writes.assignments.end(), words.begin(), words.end());
    }
    auto planned = PlanWrites(writes.assignments, codes);
    if (auto* failure = std::get_if<text::Failure>(&planned)) {
        return std::move(*failure);
    }
    writes.requests = std::get<std::vector<PlannedWrite>>(std::move(planned));
    return writes;
}

std::vector<conversion::MapEntry> EntriesToRead(std::span<const AskedValue> asked) {
    std::vector<conversion::MapEntry> entries;
    entries.reserve(asked.size() * 2);
    for (const auto& value : asked) {
        entries.push_back(value.entry);
        if (value.high) {
            entries.push_back(*value.high);
        }
    }
    return entries;
}

std::vector<conversion::MapEntry> LowWordsOf(std::span<const AskedValue> asked) {
    std::vector<conversion::MapEntry> lows;
    for (const auto& value : asked) {
        if (value.high) {
            lows.push_back(value.entry);
        }
    }
    return lows;
}

std::vector<DeviceValue> ValuesAsAsked(std::span<const AskedValue> asked,
                                       std::span<const DeviceValue> read) {
    std::vector<DeviceValue> values;
    values.reserve(asked.size());
    std::size_t next = 0;
    for (const auto& value : asked) {
        DeviceValue shown = read[next++];
        shown.type = value.type;
        if (value.high) {
            const DeviceValue& high = read[next++];
            shown.high = high.value;
            if (!high.value) {
                shown.value.reset();
                if (shown.error.empty()) {
                    shown.error = high.error;
                }
            }
        }
        values.push_back(std::move(shown));
    }
    return values;
}

void MarkWritten(std::span<DeviceValue> shown, std::span<const AskedValue> written,
                 std::span<const conversion::Assignment> assignments) {
    std::size_t word = 0;  // the first assignment of each value: a 32-bit value has two
    for (std::size_t i = 0; i < shown.size() && i < written.size(); ++i) {
        if (word >= assignments.size()) {
            return;
        }
        const std::uint16_t low = assignments[word++].value;
        const bool two = written[i].high && word < assignments.size();
        shown[i].written = two ? DoubleWord(low, assignments[word++].value) : std::uint32_t{low};
    }
}

}  // namespace scan
