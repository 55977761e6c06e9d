// Links the installed conversion library and checks one result of each public header, so a
// missing header, a wrong include path or an unlinkable archive fails here.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/address_map.h"
#include "conversion/captured_frame.h"
#include "conversion/octal_digits.h"
#include "modbus/function_codes.h"

namespace {

bool Expect(const char* what, const std::optional<std::string>& got, std::string_view want) {
    if (got && *got == want) {
        return true;
    }
    std::fprintf(stderr, "%s gave %s, expected %.*s\n", what, got ? got->c_str() : "nothing",
                 static_cast<int>(want.size()), want.data());
    return false;
}

}  // namespace

int main() {
    const bool address_ok = Expect(
        "ModbusAddressFor(X, \"17\", SS)",
        conversion::ModbusAddressFor(conversion::DeviceKind::X, "17", conversion::PlcSeries::SS),
        "040F");
    const bool octal_ok =
        Expect("ConvertOctalToDecimal(\"377\")", conversion::ConvertOctalToDecimal("377"), "255");
    const auto frame = conversion::DecodeFrame("01 02 05 00 00 10 79 0A");
    const bool frame_ok =
        Expect("DecodeFrame(\"01 02 05 00 00 10 79 0A\") first device",
               frame.readings.empty() ? std::nullopt
                                      : std::optional<std::string>(frame.readings[0].first_device),
               "Y0");
    const bool function_ok = Expect(
        "FunctionText(ReadHoldingRegisters)",
        modbus::FunctionText(modbus::FunctionCode::ReadHoldingRegisters), "function 3 (0x03)");
    if (!address_ok || !octal_ok || !frame_ok || !function_ok) {
        return 1;
    }
    std::puts("installed zentriq::conversion works");
    return 0;
}
