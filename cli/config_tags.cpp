#include "cli/config_tags.h"

#include <algorithm>

#include "taglist/columns.h"
#include "taglist/csv_reader.h"
#include "text/ascii_text.h"

namespace cli {

namespace {

using conversion::ModbusTable;

}  // namespace

text::Result<std::vector<ConfigTag>> ConfigTagsOf(std::string_view name, std::string_view item,
                                                  std::string_view type,
                                                  conversion::BareNumbers numbers) {
    std::string text(item);
    if (const std::string_view word = text::ascii::Trimmed(type); !word.empty()) {
        text.append(":").append(word);
    }
    const bool writable = conversion::SplitTypedItem(text).coil;
    auto typed = conversion::ReadTypedItem(text, std::nullopt, numbers);
    if (!typed.ok()) {
        return text::Failure{std::move(typed.message)};
    }
    std::vector<conversion::TypedValue> values = std::move(typed.values);
    // A T or C names a contact and a value: without a type the config reads its value.
    const bool registers = std::any_of(values.begin(), values.end(), [](const auto& value) {
        return value.entry.table == ModbusTable::HoldingRegister;
    });
    if (registers) {
        std::erase_if(values, [](const auto& value) {
            return value.entry.table != ModbusTable::HoldingRegister;
        });
    }
    std::vector<ConfigTag> tags;
    for (const auto& value : values) {
        if (value.entry.width == conversion::DataWidth::DoubleWord) {
            return text::Failure{conversion::DisplayText(item) + ": " +
                                 conversion::DeviceName(value.entry.device) +
                                 " holds a 32-bit counter value whose packing is not established: "
                                 "left out"};
        }
        // The values of a range are named after their devices: by the device alone where the
        // range names itself, after the tag's own name otherwise.
        std::string tag(name);
        if (values.size() > 1) {
            const std::string device = conversion::DeviceName(value.entry.device);
            if (name == item) {
                tag = device;
            } else {
                tag.append("_").append(device);
            }
        }
        tags.push_back({std::move(tag), value, writable, 0, {}});
    }
    return tags;
}

text::Result<std::vector<ConfigTag>> ReadConfigTags(taglist::Input input,
                                                    const TagColumns& columns,
                                                    conversion::BareNumbers numbers,
                                                    const RefuseTag& refuse) {
    taglist::TagRowReader reader(std::move(input), columns);
    if (auto failure = reader.Start()) {
        return std::move(*failure);
    }
    std::vector<ConfigTag> tags;
    taglist::TagRow row;
    while (reader.Next(row)) {
        if (row.blank) {
            continue;
        }
        if (row.device.empty()) {
            refuse(row.line, "no device in column " + columns.device);
            continue;
        }
        if (!row.type.empty() && !conversion::FindTypeWord(row.type)) {
            refuse(row.line, "column " + columns.type + ": " + conversion::NotATypeText(row.type));
            continue;
        }
        const std::string& tag = row.name.empty() ? row.device : row.name;
        auto read = ConfigTagsOf(tag, row.device, row.type, numbers);
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            refuse(row.line, failure->message);
            continue;
        }
        for (auto& found : std::get<std::vector<ConfigTag>>(read)) {
            found.line = row.line;
            found.unit = row.unit;
            tags.push_back(std::move(found));
        }
    }
    return tags;
}

unsigned ConfigInterval(const ConfigSettings& settings, std::chrono::nanoseconds line_time,
                        unsigned least) {
    if (settings.interval) {
        return *settings.interval;
    }
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(line_time).count();
    return static_cast<unsigned>(std::max<std::int64_t>(least, seconds));
}

std::vector<modbus::ReadRequest> PlanTagReads(std::span<const ConfigTag> tags,
                                              const modbus::LineCost& cost) {
    std::vector<conversion::MapEntry> entries, lows;
    for (const auto& tag : tags) {
        entries.push_back(tag.value.entry);
        if (tag.value.high) {
            entries.push_back(*tag.value.high);
            lows.push_back(tag.value.entry);
        }
    }
    return scan::PlanReads(entries, cost, lows);
}

}  // namespace cli
