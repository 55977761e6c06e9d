#include "gateway/request_route.h"

#include "modbus/function_codes.h"
#include "modbus/function_shapes.h"
#include "modbus/request_shape.h"

namespace gateway {

namespace {

using modbus::FunctionCode;

constexpr std::uint8_t kLastStation = 247;
constexpr std::uint8_t kServerItself = 255;

Route Answered(std::uint8_t exception, std::string reason) {
    return {0, exception, std::move(reason)};
}

}  // namespace

RouteRules EveryStation(std::uint8_t slave) {
    RouteRules rules;
    rules.slave = slave;
    for (unsigned station = 1; station <= kLastStation; ++station) {
        rules.stations.set(station);
    }
    return rules;
}

Route RouteRequest(const RouteRules& rules, std::uint8_t unit, std::span<const std::uint8_t> pdu) {
    const std::uint8_t station = unit == 0 || unit == kServerItself ? rules.slave : unit;
    if (station > kLastStation) {
        return Answered(modbus::kGatewayPathUnavailable,
                        "unit " + std::to_string(unit) + " is no station of a serial line");
    }
    if (!rules.stations.test(station)) {
        return Answered(modbus::kGatewayPathUnavailable,
                        "station " + std::to_string(station) + " is not forwarded (--stations)");
    }
    const auto code = static_cast<FunctionCode>(pdu.empty() ? 0 : pdu[0]);
    const modbus::FunctionShape* shape = modbus::ServedShape(code);
    if (shape == nullptr) {
        return Answered(modbus::kIllegalFunction,
                        pdu.empty() ? std::string("a request without a function code")
                                    : modbus::FunctionText(code) +
                                          ", which the controller does "
                                          "not serve");
    }
    if (rules.read_only && shape->writes) {
        return Answered(modbus::kIllegalFunction, "a write, refused (--read-only)");
    }
    if (auto fault = modbus::RequestShapeFault(pdu)) {
        return Answered(modbus::kIllegalDataValue, std::move(fault->message));
    }
    return {station, 0, {}};
}

}  // namespace gateway
