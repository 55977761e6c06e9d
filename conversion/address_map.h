// The device address map: how a device number typed for one of the PLC's device kinds becomes the
// Modbus address text of that device.
//
// Every function here is pure and keeps nothing between calls. ReadDeviceNumber never allocates;
// the others allocate only the short texts they build, and throw nothing but std::bad_alloc when
// memory runs out. The windows call ModbusAddressFor on each change of a PLC field and put the text
// it gives into the row's Modbus field.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace conversion {

// The device letters of a DVP-series controller, in the order the rows use them elsewhere.
enum class DeviceKind { S, X, Y, T, M, C, D };

// Every device kind, in the order of the enumeration.
inline constexpr std::array<DeviceKind, 7> kDeviceKinds{DeviceKind::S, DeviceKind::X, DeviceKind::Y,
                                                        DeviceKind::T, DeviceKind::M, DeviceKind::C,
                                                        DeviceKind::D};

// The letter the controller writes for `kind`: 'S', 'X', 'Y', 'T', 'M', 'C' or 'D'.
constexpr char DeviceLetter(DeviceKind kind) noexcept {
    return "SXYTMCD"[static_cast<int>(kind)];
}

// The kind whose letter is `letter`, in upper or lower case; nothing for any other character.
constexpr std::optional<DeviceKind> DeviceKindOf(char letter) noexcept {
    const char upper =
        letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    for (const DeviceKind kind : kDeviceKinds) {
        if (DeviceLetter(kind) == upper) {
            return kind;
        }
    }
    return std::nullopt;
}

// The controller series: SS stands for "SS/ES/EX", SC for "SA/SX/SC", SV for "EH/EH2/SV".
enum class PlcSeries { SS, SC, SV };

// Reads the number at the start of `text` (UTF-8): leading spaces and tabs are skipped, then one
// optional '+' or '-' directly before the digits, then digits with at most one '.' among them; the
// number ends at the first other character. Blank text, or text that does not begin with a number,
// reads as 0. Digit strings of any length are read to the nearest double (too large gives
// +/-infinity) in one pass, whatever the locale. Never fails.
double ReadDeviceNumber(std::string_view text) noexcept;

// Writes `value` as uppercase hexadecimal digits with no prefix and no leading zeros, after
// rounding it to the nearest whole number (an exact half goes to the even neighbour). Gives nothing
// for a value that is negative or not finite, or whose rounded value exceeds 2147483647.
std::optional<std::string> ToHexText(double value);

// Applies the address rule of `kind` to the typed `text`. Gives the Modbus address text; an empty
// text when the number lies outside what the rule can convert (so the window clears the field
// rather than keep an address that belongs to an earlier number); nothing for the D rule under any
// series but SS, meaning the Modbus field is to be left as it is. Never fails.
std::optional<std::string> ModbusAddressFor(DeviceKind kind, std::string_view text,
                                            PlcSeries series);

}  // namespace conversion
