#include "cli/device_answers.h"

#include "cli/entry_text.h"
#include "cli/output.h"
#include "conversion/device_index.h"

namespace cli {

void AppendAnswerColumns(std::string& out, const conversion::MapEntry& entry, char delimiter) {
    const EntryText text(entry);
    if (delimiter == ',') {
        text.AppendCsv(out);
    } else {
        for (const auto cell : text.Cells()) {
            out += delimiter;
            AppendCsvField(out, cell, delimiter);
        }
    }
    out += delimiter;  // the error column, empty
}

DeviceAnswers::DeviceAnswers(char delimiter, std::optional<conversion::ModbusTable> table)
    : delimiter_(delimiter), table_(table), slots_(conversion::kDeviceCount) {}

std::optional<DeviceAnswers::Answer> DeviceAnswers::Find(std::string_view item) {
    const std::size_t index = conversion::PlainDeviceIndex(item);
    if (index >= slots_.size()) {
        return std::nullopt;
    }
    Slot& slot = slots_[index];
    if (!slot.made) {
        Make(index, slot);
    }
    if (slot.count == 0) {
        return std::nullopt;
    }
    const char* text = texts_.data() + slot.offset;
    return Answer{{std::string_view(text, slot.sizes[0]),
                   std::string_view(text + slot.sizes[0], slot.sizes[1])},
                  slot.count};
}

void DeviceAnswers::Make(std::size_t index, Slot& slot) {
    slot.made = true;
    // Looked up by its own name, as the long way would read the item.
    const auto found =
        conversion::LookUp(conversion::DeviceName(conversion::DeviceNumbered(index)), table_);
    if (!found.ok()) {
        return;
    }
    slot.offset = static_cast<std::uint32_t>(texts_.size());
    for (const auto& entry : found.found()) {
        const std::size_t before = texts_.size();
        AppendAnswerColumns(texts_, entry, delimiter_);
        texts_ += '\n';
        if (texts_.size() - before > UINT8_MAX) {  // no entry's text is near so long
            texts_.resize(slot.offset);
            slot.count = 0;
            return;
        }
        slot.sizes[slot.count++] = static_cast<std::uint8_t>(texts_.size() - before);
    }
}

}  // namespace cli
