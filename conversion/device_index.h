// Every device of the map numbered densely, S0 first and D9999 last, for tables that keep something
// for each device: a list names the same devices again and again, and what is made for one of them
// once can be found again by this number without reading the item the long way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "conversion/device_map.h"

namespace conversion {

namespace detail {

// Where each letter's devices start in the dense numbering and how many it has (numbers 0 to the
// highest of its segments: every letter's segments follow on from 0 without a gap); by byte, so
// that a letter of either case is found with one look.
struct LetterRun {
    std::uint16_t first = 0;
    std::uint16_t count = 0;  // 0: no device letter
    bool octal = false;
};

constexpr auto kLetterRuns = [] {
    std::array<LetterRun, 256> runs{};
    std::uint16_t next = 0;
    for (const auto& segment : kAddressSegments) {
        auto& run = runs[static_cast<unsigned char>(segment.letter)];
        if (run.count == 0) {
            run.first = next;
            run.octal = segment.letter == 'X' || segment.letter == 'Y';
        }
        const auto count = static_cast<std::uint16_t>(segment.last_number + 1);
        if (count > run.count) {
            next = static_cast<std::uint16_t>(next + count - run.count);
            run.count = count;
        }
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        runs[static_cast<unsigned char>(letter - 'A' + 'a')] =
            runs[static_cast<unsigned char>(letter)];
    }
    return runs;
}();

constexpr std::size_t CountDevices() {
    std::size_t count = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        count += kLetterRuns[static_cast<unsigned char>(letter)].count;
    }
    return count;
}

}  // namespace detail

// How many devices the dense numbering has.
inline constexpr std::size_t kDeviceCount = detail::CountDevices();

// The dense number of the device `item` names when it is written plainly, as tag lists write
// devices: a device letter (either case) and at most five digits of its number (octal for X and Y),
// nothing before or after. kDeviceCount for every other item, which LookUp reads the long way; for
// the items it numbers, LookUp gives the entries of DeviceNumbered(the number).
constexpr std::size_t PlainDeviceIndex(std::string_view item) noexcept {
    constexpr std::size_t kMostDigits = 5;
    if (item.size() < 2 || item.size() > kMostDigits + 1) {
        return kDeviceCount;
    }
    const auto& run = detail::kLetterRuns[static_cast<unsigned char>(item[0])];
    const unsigned base = run.octal ? 8 : 10;
    std::uint32_t number = 0;
    for (std::size_t i = 1; i < item.size(); ++i) {
        const auto digit = static_cast<unsigned>(static_cast<unsigned char>(item[i]) - '0');
        if (digit >= base) {
            return kDeviceCount;
        }
        number = number * base + digit;
    }
    return number < run.count ? run.first + number : kDeviceCount;
}

// The device a dense number stands for (below kDeviceCount).
constexpr Device DeviceNumbered(std::size_t index) noexcept {
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const auto& run = detail::kLetterRuns[static_cast<unsigned char>(letter)];
        if (index >= run.first && index < std::size_t{run.first} + run.count) {
            return {letter, static_cast<std::uint32_t>(index - run.first)};
        }
    }
    return {'\0', 0};
}

}  // namespace conversion
