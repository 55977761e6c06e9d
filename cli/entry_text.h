// The texts of one map entry as the tool prints them, column by column, built on the stack: batch
// mode writes millions of them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/device_map.h"

namespace cli {

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
    // A short text right-aligned to kEnd, with room after it so that a fixed-size copy of
    // kCopy bytes from its start stays inside: fixed copies compile to a few moves, where copies
    // of the exact size call memcpy and branch on the size.
    struct Digits {
        static constexpr std::size_t kEnd = 16, kCopy = 16;
        std::array<char, kEnd + kCopy> text;
        std::size_t size = 0;
        std::string_view view() const { return {text.data() + kEnd - size, size}; }
    };

    const conversion::MapEntry& entry_;
    Digits device_, decimal_;
    std::array<char, 4> address_;
    std::array<char, 6> reference_;
};

}  // namespace cli
