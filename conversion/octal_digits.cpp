#include "conversion/octal_digits.h"

#include "conversion/decimal_text.h"

namespace conversion {

std::optional<std::string> ConvertOctalToDecimal(std::string_view BinVal) {
    double sum = 0.0;
    double power = 1.0;  // 8^i; powers of two stay exact in a double until they overflow
    for (auto it = BinVal.rbegin(); it != BinVal.rend(); ++it) {
        const char c = *it;
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        // A zero digit adds nothing; skipping it also keeps 0 * infinity from turning the sum to
        // NaN.
        if (c != '0') {
            sum += static_cast<double>(c - '0') * power;
        }
        power *= 8.0;
    }
    return WholeDecimalText(sum);
}

}  // namespace conversion
