#include "cli/device_answers.h"

#include <algorithm>

#include "cli/entry_text.h"
#include "cli/output.h"

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
    : delimiter_(delimiter),
      table_(table),
      entries_{std::vector<Piece>(conversion::kDeviceCount + 1),
               std::vector<Piece>(conversion::kDeviceCount + 1)},
      shapes_(1) {}

std::uint8_t DeviceAnswers::ShapeOf(std::string_view table, std::string_view tail) {
    for (std::size_t i = 1; i < shapes_.size(); ++i) {
        const Shape& shape = shapes_[i];
        if (table == std::string_view(shape.table.data(), shape.table_size) &&
            tail == std::string_view(shape.tail.data(), shape.tail_size)) {
            return static_cast<std::uint8_t>(i);
        }
    }
    if (table.size() > Shape::kCopy || tail.size() > Shape::kCopy || shapes_.size() >= kNoAnswer) {
        return kNoAnswer;
    }
    Shape& shape = shapes_.emplace_back();
    std::copy(table.begin(), table.end(), shape.table.begin());
    std::copy(tail.begin(), tail.end(), shape.tail.begin());
    shape.table_size = static_cast<std::uint8_t>(table.size());
    shape.tail_size = static_cast<std::uint8_t>(tail.size());
    return static_cast<std::uint8_t>(shapes_.size() - 1);
}

// Makes the pieces from the text the long way writes, cut at its separators: the name, the
// table's name, the three numbers and the rest. None of the first five cells can hold a separator
// or a quote, so the cuts fall between cells.
void DeviceAnswers::Make(std::size_t index) {
    entries_[0][index].shape = kNoAnswer;
    entries_[1][index].shape = kNoAnswer;
    // Looked up by its own name, as the long way would read the item.
    const auto found =
        conversion::LookUp(conversion::DeviceName(conversion::DeviceNumbered(index)), table_);
    for (std::size_t i = 0; found.ok() && i < found.count; ++i) {
        std::string text;
        AppendAnswerColumns(text, found.entries[i], delimiter_);
        text += '\n';
        std::array<std::size_t, 6> cuts{};  // where the first six separators stand
        for (std::size_t n = 0, from = 0; n < cuts.size(); ++n) {
            cuts[n] = std::min(text.find(delimiter_, from), text.size());
            from = std::min(cuts[n] + 1, text.size());
        }
        const std::string_view whole = text;
        const auto part = [&](std::size_t from, std::size_t to) {
            return whole.substr(cuts[from], cuts[to] - cuts[from]);
        };
        Piece piece;
        const auto name = part(0, 1);
        const auto numbers = part(2, 5);
        piece.shape = ShapeOf(part(1, 2), whole.substr(cuts[5]));
        if (piece.shape == kNoAnswer || name.size() > piece.name.size() ||
            numbers.size() > piece.numbers.size()) {
            entries_[0][index] = {kNoAnswer};  // not the case for any device: the long way
            return;
        }
        std::copy(name.begin(), name.end(), piece.name.begin());
        std::copy(numbers.begin(), numbers.end(), piece.numbers.begin());
        piece.name_size = static_cast<std::uint8_t>(name.size());
        piece.numbers_size = static_cast<std::uint8_t>(numbers.size());
        entries_[i][index] = piece;
    }
    entries_[0][index].count = found.ok() ? found.count : 0;
}

}  // namespace cli
