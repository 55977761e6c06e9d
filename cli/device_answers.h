// Each device's result columns as a CSV batch writes them after a row, made the first time a list
// names the device and written straight into the output from then on. A large plant's list names
// the same devices again and again, and copying a few finished pieces costs a fraction of reading
// the item, looking it up and writing its cells.
//
// Only what differs from device to device is kept for each (its name and its three numbers, 32
// bytes an entry, half a megabyte for the whole map), so that the processor's cache holds them
// beside the list streaming through; the table's name and the columns after the numbers are the
// same for a segment's devices and kept once. A cache of each device's whole text (over a megabyte)
// spent more time waiting for memory than the pieces take to put together.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_index.h"
#include "conversion/device_map.h"

namespace cli {

class DeviceAnswers {
  public:
    // The room an entry's text needs in the output: more than the longest, for fixed-size copies.
    static constexpr std::size_t kRoom = 128;

    // Texts in `delimiter`'s CSV, of the entries that `table` answers (every table when none).
    DeviceAnswers(char delimiter, std::optional<conversion::ModbusTable> table);

    // How many entries the device that `item` names plainly (D100, x17) has, 0 for an item to be
    // looked up the long way: any other shape, or no entry on the table asked for.
    std::size_t Find(std::string_view item) {
        index_ = conversion::PlainDeviceIndex(item);
        if (index_ >= conversion::kDeviceCount) {
            return 0;
        }
        Piece& first = entries_[0][index_];
        if (first.shape == kNotMade) {
            Make(index_);
        }
        return first.count;
    }

    // Writes entry `which` of the device Find found, as the end of a row after its own cells (the
    // result columns, an empty error column and the line break) to `at`, which has kRoom bytes;
    // gives where it ends.
    char* Put(char* at, std::size_t which) const {
        const Piece& piece = entries_[which][index_];
        const Shape& shape = shapes_[piece.shape];
        at = Copy<sizeof piece.name>(at, piece.name.data(), piece.name_size);
        at = Copy<Shape::kCopy>(at, shape.table.data(), shape.table_size);
        at = Copy<kNumbersCopy>(at, piece.numbers.data(), piece.numbers_size);
        return Copy<Shape::kCopy>(at, shape.tail.data(), shape.tail_size);
    }

  private:
    static constexpr std::uint8_t kNotMade = 0;
    static constexpr std::uint8_t kNoAnswer = 0xFF;
    static constexpr std::size_t kNumbersCopy = 32;

    // What is the same for every entry of a segment seen through one table: ",holding register"
    // and ",word,[3],\"[6,16]\",\n".
    struct Shape {
        static constexpr std::size_t kCopy = 32;
        std::array<char, 2 * kCopy> table{};
        std::array<char, 2 * kCopy> tail{};
        std::uint8_t table_size = 0;
        std::uint8_t tail_size = 0;
    };

    // What is an entry's own: ",D100" and ",1064,4196,404197". A fixed-size copy of the numbers
    // reads on into the next piece, and past the last into one kept spare.
    struct Piece {
        std::uint8_t shape = kNotMade;  // in shapes_
        std::uint8_t count = 0;  // the device's entries, in its first piece (0: the long way)
        std::uint8_t name_size = 0;
        std::uint8_t numbers_size = 0;
        std::array<char, 8> name{};
        std::array<char, 20> numbers{};
    };
    static_assert(sizeof(Piece) == 32);

    // Copies Fixed bytes, which compiles to a few moves, but keeps only `size` of them.
    template <std::size_t Fixed>
    static char* Copy(char* at, const char* from, std::size_t size) {
        std::memcpy(at, from, Fixed);
        return at + size;
    }

    void Make(std::size_t index);
    // The shape with these texts, added if it is new; kNoAnswer when they do not fit.
    std::uint8_t ShapeOf(std::string_view table, std::string_view tail);

    char delimiter_;
    std::optional<conversion::ModbusTable> table_;
    std::size_t index_ = 0;  // the device Find found last
    // By conversion's dense device number: the first entries, and the second (T and C have a
    // contact and a value) where only those devices' are ever read.
    std::array<std::vector<Piece>, 2> entries_;
    std::vector<Shape> shapes_;  // [0] stands for none
};

// Appends the result columns of `entry` in `delimiter`'s CSV, each after a separator, and the empty
// error column: a row's end as a batch writes it, without the line break.
void AppendAnswerColumns(std::string& out, const conversion::MapEntry& entry, char delimiter);

}  // namespace cli
