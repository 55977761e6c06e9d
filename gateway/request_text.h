// A client's request in the controller's terms, for --verbose: "read D100-D109", "write Y0=on",
// "write D100=250 D101=3", "write M0-M99 (100 coils)", "report slave id". Named through the same
// frame decoding as zentriq-lookup --frame, so the log and the lookup never disagree.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace gateway {

std::string RequestText(std::uint8_t station, std::span<const std::uint8_t> pdu);

}  // namespace gateway
