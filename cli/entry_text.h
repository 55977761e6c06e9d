// The texts of one map entry as the tool prints them, column by column, built on the stack: batch
// mode writes millions of them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/device_map.h"

namespace lookup {

// The result columns in their order; `input` comes first and `error` last, the entry's own columns
// (EntryText::Cells) between them.
inline constexpr std::array<std::string_view, 10> kColumnNames = {
    "input",     "device", "table", "address", "decimal",
    "reference", "width",  "read",  "write",   "error"};

class EntryText {
  public:
    explicit EntryText(const conversion::MapEntry& entry);
    EntryText(const EntryText&) = delete;
    EntryText& operator=(const EntryText&) = delete;

    // device, table, address (four upper-case hex digits), decimal, reference (six digits), width,
    // read and write (function codes as "[1,2]", "[]" when none).
    std::array<std::string_view, 8> Cells() const;

    // Appends the same cells to a CSV line, each after a comma: the function code lists in
    // quotes, the rest as they are (no other cell can hold a comma, a quote or a line break).
    void AppendCsv(std::string& out) const;

  private:
    std::string_view Device() const { return {device_.end() - device_size_, device_size_}; }

    const conversion::MapEntry& entry_;
    // Each text right-aligned in its buffer; the sizes say where it starts.
    std::array<char, 12> device_;
    std::array<char, 4> address_;
    std::array<char, 5> decimal_;
    std::array<char, 6> reference_;
    std::size_t device_size_, decimal_size_;
};

}  // namespace lookup
