// Where a client's request goes: to a station on the line, or answered at once by the gateway
// itself, without spending line time on a request the line cannot serve or the controller can
// only refuse.
//
// Pure: nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <string>

namespace gateway {

struct RouteRules {
    std::uint8_t slave = 1;     // the station units 0 and 255 reach
    std::bitset<256> stations;  // the stations forwarded to
    bool read_only = false;     // writes are refused
};

// The rules with every station a serial line may address (1 to 247) forwarded.
RouteRules EveryStation(std::uint8_t slave);

struct Route {
    std::uint8_t station = 0;    // where it goes, when it goes
    std::uint8_t exception = 0;  // the gateway's own answer instead; 0: it goes to the line
    std::string reason;          // why, for the log: "unit 250 is no station of a serial line"
};

// Unit 0 (many TCP clients' "no unit") and 255 (the protocol's "the server itself") reach
// `rules.slave`; 1 to 247 are stations; 248 to 254 are reserved on a serial line: 0A. A station
// not forwarded: 0A. A function the controller does not serve, by the function shapes (it serves
// 01, 02, 03, 05, 06, 15, 16 and 17), and a code they do not know: 01, as are writes when
// read-only. A request of a wrong shape: 03.
Route RouteRequest(const RouteRules& rules, std::uint8_t unit, std::span<const std::uint8_t> pdu);

}  // namespace gateway
