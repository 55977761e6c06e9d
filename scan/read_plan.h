// Reading the controller in the least time the protocol and the map allow.
//
// A read names entries anywhere in the map; the plan reads one table's entries in requests of
// consecutive addresses, and reads across addresses nobody asked for where that costs less time
// than a request of its own, but only where the map has a device of that table: an address without
// one is answered with exception 02 (illegal data address) and would fail the whole request. The
// time is the link's (modbus/line_cost.h): on a serial line every character counts, over TCP only
// the round trips. The same entries always give the same plan, so every scan of a watch sends the
// same frames, and a config for another engine reads what zentriq-poll reads.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "conversion/device_map.h"
#include "modbus/function_codes.h"
#include "modbus/line_cost.h"
#include "modbus/requests.h"

namespace scan {

// The requests that read every entry of `entries` (in any order, repeats allowed) in the least
// time `cost` gives a scan: per table, the asked addresses by address split into runs, each run one
// request from its first address to its last, that (a) carries at most MostItems of its code (2000
// bits, 125 registers) and (b) spans only addresses with a device on its table, the runs chosen so
// that the sum of their ReadTime is the least. Of plans equally fast, the one whose first request
// reaches furthest, then the same for the rest: over TCP, where every request costs the same, that
// is the plan of fewest requests, each reaching as far as it may. A coil entry is read with 01, a
// discrete-input entry (X, or a coil device's discrete-input view) with 02, a register with 03.
// Requests come coils first, then discrete inputs, then registers, each table by address. Empty
// for no entries. Each of `low_words` is a 32-bit value's low word, its high word at the next
// address of its table (read too, whether `entries` names it or not): no request ends between the
// two, so both words of a value come from one moment and a counter passing 65535 never shows a
// value it never had.
std::vector<modbus::ReadRequest> PlanReads(std::span<const conversion::MapEntry> entries,
                                           const modbus::LineCost& cost,
                                           std::span<const conversion::MapEntry> low_words = {});

// The time of a scan that sends `plan`: the sum of each request's ReadTime.
std::chrono::nanoseconds PlanTime(std::span<const modbus::ReadRequest> plan,
                                  const modbus::LineCost& cost) noexcept;

// The code that reads `table`: 01 for coils, 02 for discrete inputs, 03 for holding registers.
modbus::FunctionCode ReadCode(conversion::ModbusTable table) noexcept;

// The table a read code reads: Coil for 01, DiscreteInput for 02, HoldingRegister for 03 (and for
// any other code).
conversion::ModbusTable TableRead(modbus::FunctionCode function) noexcept;

// Where an entry's value stands in the answers to a plan: the request that reads it and the item
// within that request.
struct PlanSlot {
    std::size_t request = 0;
    std::uint16_t offset = 0;

    friend bool operator==(const PlanSlot&, const PlanSlot&) = default;
};

// The slot of `entry` in `plan`; none when no request reads its table and address.
std::optional<PlanSlot> SlotOf(std::span<const modbus::ReadRequest> plan,
                               const conversion::MapEntry& entry) noexcept;

}  // namespace scan
