#include "taglist/tag_rows.h"

#include "taglist/columns.h"
#include "text/ascii_text.h"

namespace taglist {

TagRowReader::TagRowReader(Input input, TagColumns columns)
    : columns_(std::move(columns)), reader_(std::move(input), 0, columns_.delimiter) {}

std::optional<text::Failure> TagRowReader::Start() {
    const bool has_header = columns_.header && reader_.Next(record_);
    if (columns_.header && !has_header) {
        empty_ = true;  // an empty file: no header, and no rows
        return std::nullopt;
    }
    if (has_header) {
        header_ = std::string(record_.raw);
        header_fields_ = record_.fields;
    }
    const CsvRecord* header = has_header ? &record_ : nullptr;
    // The device column always; the name, type and unit columns where the list has them.
    for (const auto& [wanted, column] :
         {std::pair{&columns_.device, &device_}, std::pair{&columns_.name, &name_},
          std::pair{&columns_.type, &type_}, std::pair{&columns_.unit, &unit_}}) {
        if (wanted != &columns_.device && wanted->empty()) {
            continue;
        }
        auto found = ColumnOf(*wanted, header, reader_.delimiter());
        if (auto* failure = std::get_if<text::Failure>(&found)) {
            return std::move(*failure);
        }
        *column = std::get<std::size_t>(found);
    }
    reader_.set_column(*device_);
    return std::nullopt;
}

bool TagRowReader::Next(TagRow& row) {
    if (empty_ || !device_ || !reader_.Next(record_)) {
        return false;
    }
    row.raw = std::string(record_.raw);
    row.line = record_.line;
    row.blank = record_.blank;
    row.fields = record_.fields;
    row.device = text::ascii::Trimmed(record_.item);
    const bool more = name_ || type_ || unit_;
    const auto fields =
        more ? SplitFields(record_.raw, reader_.delimiter()) : std::vector<std::string>();
    const auto cell = [&](std::optional<std::size_t> column) -> std::string {
        return column && *column < fields.size()
                   ? std::string(text::ascii::Trimmed(fields[*column]))
                   : std::string();
    };
    row.name = cell(name_);
    row.type = cell(type_);
    row.unit = cell(unit_);
    return true;
}

}  // namespace taglist
