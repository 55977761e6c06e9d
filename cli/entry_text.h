// The texts of one map entry as the tool prints them, column by column, built on the stack (batch
// mode writes millions of them; a device name is short enough to need no allocation).
#pragma once

#include <array>
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

  private:
    const conversion::MapEntry& entry_;
    std::string device_;
    std::array<char, 4> address_{};
    std::array<char, 8> decimal_{};
    std::array<char, 6> reference_{};
    std::array<char, 16> read_{};
    std::array<char, 16> write_{};
    std::size_t decimal_size_ = 0, read_size_ = 0, write_size_ = 0;
};

}  // namespace lookup
