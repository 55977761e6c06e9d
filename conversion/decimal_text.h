// Writing whole numbers held in a double as plain decimal digits; shared by the octal reading and
// the X and Y rules.
#pragma once

#include <optional>
#include <string>

namespace conversion {

// Plain decimal digits of a whole, non-negative, finite `value` (no sign, point or leading zeros);
// nothing for any other value. Negative zero is written "0".
std::optional<std::string> WholeDecimalText(double value);

}  // namespace conversion
