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

text::Result<std::vector<ConfigTag>> ReadConfigTags(taglist::Source source,
                                                    const TagColumns& columns,
                                                    conversion::BareNumbers numbers,
                                                    const RefuseTag& refuse) {
    taglist::CsvReader reader(std::move(source), 0, columns.delimiter);
    taglist::CsvRecord record;
    const bool has_header = columns.header && reader.Next(record);
    if (columns.header && !has_header) {
        return std::vector<ConfigTag>{};  // an empty file: no header, and no devices
    }
    const taglist::CsvRecord* header = has_header ? &record : nullptr;
    // The device column always; the name, type and unit columns where the list has them.
    std::optional<std::size_t> device, name, type, unit;
    for (const auto& [wanted, column] :
         {std::pair{&columns.device, &device}, std::pair{&columns.name, &name},
          std::pair{&columns.type, &type}, std::pair{&columns.unit, &unit}}) {
        if (wanted != &columns.device && wanted->empty()) {
            continue;
        }
        auto found = taglist::ColumnOf(*wanted, header, reader.delimiter());
        if (auto* failure = std::get_if<text::Failure>(&found)) {
            return std::move(*failure);
        }
        *column = std::get<std::size_t>(found);
    }
    std::vector<ConfigTag> tags;
    while (reader.Next(record)) {
        if (record.blank) {
            continue;
        }
        const auto fields = taglist::SplitFields(record.raw, reader.delimiter());
        const auto cell = [&](std::optional<std::size_t> column) -> std::string {
            return column && *column < fields.size()
                       ? std::string(text::ascii::Trimmed(fields[*column]))
                       : std::string();
        };
        const std::string item = cell(device);
        const std::string tag = name ? cell(name) : item;
        const std::size_t line = record.line;
        if (item.empty()) {
            refuse(line, "no device in column " + columns.device);
            continue;
        }
        const std::string type_word = cell(type);
        if (!type_word.empty() && !conversion::FindTypeWord(type_word)) {
            refuse(line, "column " + columns.type + ": " + conversion::NotATypeText(type_word));
            continue;
        }
        auto read = ConfigTagsOf(tag.empty() ? item : tag, item, type_word, numbers);
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            refuse(line, failure->message);
            continue;
        }
        for (auto& found : std::get<std::vector<ConfigTag>>(read)) {
            found.line = record.line;
            found.unit = cell(unit);
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
