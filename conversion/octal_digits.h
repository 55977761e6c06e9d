// Reading the digits of an X or Y device number in base eight, as the controller numbers them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace conversion {

// Reads `BinVal` as base-eight digits, rightmost first, each digit's face value times its power of
// eight (so 8 and 9 count at face value: "19" reads as 17), and gives the sum as plain decimal
// digits. The empty text gives "0". Gives nothing for a text with any character other than '0' to
// '9', or whose value is too large to be held in a double. Linear in the text's length; never
// fails.
std::optional<std::string> ConvertOctalToDecimal(std::string_view BinVal);

}  // namespace conversion
