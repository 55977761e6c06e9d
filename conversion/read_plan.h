// Reading the controller in as few requests as the protocol and the map allow.
//
// A read names entries anywhere in the map; the plan reads one table's entries that lie close
// together with one request, up to the most items a request may carry, and reads across addresses
// nobody asked for only where the map has a device of that table: an address without one is
// answered with exception 02 (illegal data address) and would fail the whole request. The same
// entries always give the same plan, so every scan of a watch sends the same frames, and a config
// for another engine reads what zentriq-poll reads.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "conversion/device_map.h"
#include "modbus/function_codes.h"
#include "modbus/requests.h"

namespace conversion {

// The most addresses nobody asked for that one request reads across, between two asked ones: for
// bits and for registers. Bridging a gap costs its bytes on the line; a new request costs a round
// trip.
struct BridgeLimits {
    std::uint16_t bits = 0;
    std::uint16_t registers = 0;
};

// Bridging every gap a request can span: the fewest requests possible.
inline constexpr BridgeLimits kBridgeAnyGap{2000, 125};

// The requests that read every entry of `entries` (in any order, repeats allowed): per table, by
// address, each request starting at the first entry not yet read and reaching as far as it can
// while (a) it carries at most MostItems of its code (2000 bits, 125 registers), (b) every address
// it spans has a device on its table, and (c) no run of addresses not asked for inside it is longer
// than `bridge` allows. A coil entry is read with 01, a discrete-input entry (X, or a coil device's
// discrete-input view) with 02, a register with 03. Requests come coils first, then discrete
// inputs, then registers, each table by address. Empty for no entries.
std::vector<modbus::ReadRequest> PlanReads(std::span<const MapEntry> entries, BridgeLimits bridge);

// The table a read code reads: Coil for 01, DiscreteInput for 02, HoldingRegister for 03 (and for
// any other code).
ModbusTable TableRead(modbus::FunctionCode function) noexcept;

// Where an entry's value stands in the answers to a plan: the request that reads it and the item
// within that request.
struct PlanSlot {
    std::size_t request = 0;
    std::uint16_t offset = 0;

    friend bool operator==(const PlanSlot&, const PlanSlot&) = default;
};

// The slot of `entry` in `plan`; none when no request reads its table and address.
std::optional<PlanSlot> SlotOf(std::span<const modbus::ReadRequest> plan,
                               const MapEntry& entry) noexcept;

}  // namespace conversion
