// Each device's result columns as a CSV batch writes them after a row, made the first time a list
// names the device and copied from then on. A large plant's list names the same devices again and
// again, and one copy of a finished text costs a fraction of reading the item, looking it up and
// writing its cells; the texts of all devices (about 1 MB) stay near the processor, where a cache
// of strings keyed by the item did not.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_map.h"

namespace cli {

class DeviceAnswers {
  public:
    // The text of one entry; `text` stays valid until the next Find.
    struct Answer {
        std::array<std::string_view, 2> texts;
        std::size_t count = 0;
    };

    // Texts in `delimiter`'s CSV, of the entries that `table` answers (every table when none).
    DeviceAnswers(char delimiter, std::optional<conversion::ModbusTable> table);

    // The texts of the device that `item` names plainly (D100, x17), each as the row's end after
    // its own cells: the result columns, an empty error column and the line break. Nothing for an
    // item to be looked up the long way: any other shape, or no entry on the table asked for.
    std::optional<Answer> Find(std::string_view item);

  private:
    struct Slot {
        std::uint32_t offset = 0;
        std::array<std::uint8_t, 2> sizes{};
        std::uint8_t count = 0;
        bool made = false;  // count 0 once made: the long way says why there is no answer
    };

    void Make(std::size_t index, Slot& slot);

    char delimiter_;
    std::optional<conversion::ModbusTable> table_;
    std::vector<Slot> slots_;  // by conversion's dense device number, made as they are asked for
    std::string texts_;
};

// Appends the result columns of `entry` in `delimiter`'s CSV, each after a separator, and the empty
// error column: a row's end as a batch writes it, without the line break.
void AppendAnswerColumns(std::string& out, const conversion::MapEntry& entry, char delimiter);

}  // namespace cli
