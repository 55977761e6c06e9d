#include "cli/config_tags.h"

#include <algorithm>

#include "taglist/csv_reader.h"
#include "text/ascii_text.h"

namespace cli {

namespace {

using conversion::ModbusTable;

// A column number from 1, or the place of its name in `header`; none when neither.
std::optional<std::size_t> ColumnOf(const std::string& spec, const std::vector<std::string>& header,
                                    bool named) {
    if (!named) {
        if (spec.empty() || spec.size() > 7 ||
            spec.find_first_not_of("0123456789") != std::string::npos || std::stoul(spec) == 0) {
            return std::nullopt;
        }
        return std::stoul(spec) - 1;
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (text::ascii::SameIgnoringCase(text::ascii::Trimmed(header[i]), spec)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

text::Result<std::vector<ConfigTag>> ConfigTagsOf(std::string_view name, std::string_view item,
                                                  std::string_view type,
                                                  conversion::BareNumbers numbers) {
    std::string text(item);
    const std::string_view type_word = text::ascii::Trimmed(type);
    const bool writable = text::ascii::SameIgnoringCase(type_word, "switch");
    if (writable) {
        text += ":bool";
    } else if (!type_word.empty()) {
        text += ":" + std::string(type_word);
    }
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
        if (writable && value.entry.table != ModbusTable::Coil) {
            return text::Failure{conversion::DisplayText(item) + ": " +
                                 conversion::DeviceName(value.entry.device) +
                                 " is an input: a switch needs a coil"};
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
        tags.push_back({std::move(tag), value, writable});
    }
    return tags;
}

text::Result<std::vector<ConfigTag>> ReadConfigTags(
    taglist::Source source, const TagColumns& columns, conversion::BareNumbers numbers,
    const std::function<void(std::string_view)>& refuse) {
    taglist::CsvReader reader(std::move(source), 0, columns.delimiter);
    taglist::CsvRecord record;
    std::vector<std::string> header;
    if (columns.header && reader.Next(record)) {
        header = taglist::SplitFields(record.raw, reader.delimiter());
    }
    const auto device =
        ColumnOf(columns.device, header,
                 columns.header && !std::all_of(columns.device.begin(), columns.device.end(),
                                                text::ascii::IsDigit));
    const auto optional_column = [&](const std::string& spec) -> std::optional<std::size_t> {
        if (spec.empty()) {
            return std::nullopt;
        }
        return ColumnOf(
            spec, header,
            columns.header && !std::all_of(spec.begin(), spec.end(), text::ascii::IsDigit));
    };
    const auto name = optional_column(columns.name);
    const auto type = optional_column(columns.type);
    for (const auto& [spec, found] : {std::pair{columns.device, device.has_value()},
                                      std::pair{columns.name, columns.name.empty() || name},
                                      std::pair{columns.type, columns.type.empty() || type}}) {
        if (!found) {
            return text::Failure{"no column " + spec + " in the tag list"};
        }
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
        const std::string line = "line " + std::to_string(record.line) + ": ";
        if (item.empty()) {
            refuse(line + "no device in column " + columns.device);
            continue;
        }
        auto read = ConfigTagsOf(tag.empty() ? item : tag, item, cell(type), numbers);
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            refuse(line + failure->message);
            continue;
        }
        for (auto& found : std::get<std::vector<ConfigTag>>(read)) {
            tags.push_back(std::move(found));
        }
    }
    return tags;
}

}  // namespace cli
