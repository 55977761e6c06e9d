#include "scan/read_plan.h"

#include <algorithm>
#include <array>

#include "conversion/device_map_parts.h"

namespace scan {

using conversion::AddressRun;
using conversion::RunAt;
using conversion::detail::IsBitTable;

namespace {

constexpr std::array<conversion::ModbusTable, 3> kTablesInPlanOrder{
    conversion::ModbusTable::Coil, conversion::ModbusTable::DiscreteInput,
    conversion::ModbusTable::HoldingRegister};

}  // namespace

modbus::FunctionCode ReadCode(conversion::ModbusTable table) noexcept {
    switch (table) {
        case conversion::ModbusTable::Coil:
            return modbus::FunctionCode::ReadCoils;
        case conversion::ModbusTable::DiscreteInput:
            return modbus::FunctionCode::ReadDiscreteInputs;
        case conversion::ModbusTable::HoldingRegister:
            break;
    }
    return modbus::FunctionCode::ReadHoldingRegisters;
}

namespace {

bool IsReadCode(modbus::FunctionCode code) noexcept {
    return code == modbus::FunctionCode::ReadCoils ||
           code == modbus::FunctionCode::ReadDiscreteInputs ||
           code == modbus::FunctionCode::ReadHoldingRegisters;
}

// Whether every address strictly between `after` and `before` has a device that `table` answers.
// Code 02 answers every bit device, code 01 only the coils, so X's addresses are a hole for 01.
bool AllDevicesBetween(std::uint16_t after, std::uint16_t before,
                       conversion::ModbusTable table) noexcept {
    const bool bits = IsBitTable(table);
    std::uint32_t address = after + 1u;
    while (address < before) {
        const AddressRun run = RunAt(static_cast<std::uint16_t>(address),
                                     static_cast<std::uint16_t>(before - 1u), bits);
        if (run.segment == nullptr || (table == conversion::ModbusTable::Coil &&
                                       run.segment->table != conversion::ModbusTable::Coil)) {
            return false;
        }
        address = run.last + 1u;
    }
    return true;
}

// The requests of one table in the least time: over the asked addresses by address, from the
// last back to the first, the best plan of each suffix is its best first request followed by the
// best plan of what that request leaves. A request may not reach past a pair of neighbours with a
// hole between them, nor past the most items of its code, nor end at a low word in `lows` (sorted).
void PlanTable(std::vector<std::uint16_t>& asked, const std::vector<std::uint16_t>& lows,
               conversion::ModbusTable table, const modbus::LineCost& cost,
               std::vector<modbus::ReadRequest>& plan) {
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    const std::size_t count = asked.size();
    if (count == 0) {
        return;
    }
    const modbus::FunctionCode code = ReadCode(table);
    const std::uint32_t most = modbus::MostItems(code).value_or(1);
    const auto request = [&](std::size_t first, std::size_t last) {
        return modbus::ReadRequest{code, asked[first],
                                   static_cast<std::uint16_t>(asked[last] - asked[first] + 1)};
    };
    // joins[k]: whether asked[k] and asked[k + 1] may stand in one request.
    std::vector<bool> joins(count, false);
    for (std::size_t k = 0; k + 1 < count; ++k) {
        joins[k] = AllDevicesBetween(asked[k], asked[k + 1], table);
    }
    // best[i]: the least time that reads asked[i] onwards; ends[i]: where its first request ends
    // (one past its last address's index).
    std::vector<std::chrono::nanoseconds> best(count + 1, std::chrono::nanoseconds::zero());
    std::vector<std::size_t> ends(count + 1, count);
    for (std::size_t first = count; first-- > 0;) {
        best[first] = std::chrono::nanoseconds::max();
        for (std::size_t end = first + 1; end <= count; ++end) {
            if (end > first + 1 &&
                (!joins[end - 2] ||
                 static_cast<std::uint32_t>(asked[end - 1] - asked[first]) + 1 > most)) {
                break;
            }
            const auto alone = modbus::ReadTime(cost, request(first, end - 1));
            if (alone > best[first]) {
                break;  // a longer request takes no less time
            }
            if (std::binary_search(lows.begin(), lows.end(), asked[end - 1]) ||
                best[end] == std::chrono::nanoseconds::max()) {
                // A low word's high word is the next address: the same request reads it. (No plan
                // of the rest: a request cannot end here.)
                continue;
            }
            if (alone + best[end] <= best[first]) {  // a tie goes to the longer request
                best[first] = alone + best[end];
                ends[first] = end;
            }
        }
    }
    for (std::size_t first = 0; first < count; first = ends[first]) {
        plan.push_back(request(first, ends[first] - 1));
    }
}

}  // namespace

std::vector<modbus::ReadRequest> PlanReads(std::span<const conversion::MapEntry> entries,
                                           const modbus::LineCost& cost,
                                           std::span<const conversion::MapEntry> low_words) {
    std::vector<modbus::ReadRequest> plan;
    std::vector<std::uint16_t> asked, lows;
    for (const conversion::ModbusTable table : kTablesInPlanOrder) {
        asked.clear();
        lows.clear();
        for (const conversion::MapEntry& entry : entries) {
            if (entry.table == table) {
                asked.push_back(entry.address);
            }
        }
        for (const conversion::MapEntry& low : low_words) {
            if (low.table == table && low.address < 0xFFFF) {
                lows.push_back(low.address);
                asked.push_back(low.address);
                asked.push_back(static_cast<std::uint16_t>(low.address + 1));
            }
        }
        std::sort(lows.begin(), lows.end());
        PlanTable(asked, lows, table, cost, plan);
    }
    return plan;
}

std::chrono::nanoseconds PlanTime(std::span<const modbus::ReadRequest> plan,
                                  const modbus::LineCost& cost) noexcept {
    std::chrono::nanoseconds time{0};
    for (const modbus::ReadRequest& request : plan) {
        time += modbus::ReadTime(cost, request);
    }
    return time;
}

conversion::ModbusTable TableRead(modbus::FunctionCode function) noexcept {
    switch (function) {
        case modbus::FunctionCode::ReadCoils:
            return conversion::ModbusTable::Coil;
        case modbus::FunctionCode::ReadDiscreteInputs:
            return conversion::ModbusTable::DiscreteInput;
        default:
            return conversion::ModbusTable::HoldingRegister;
    }
}

std::optional<PlanSlot> SlotOf(std::span<const modbus::ReadRequest> plan,
                               const conversion::MapEntry& entry) noexcept {
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const modbus::ReadRequest& request = plan[i];
        if (IsReadCode(request.function) && TableRead(request.function) == entry.table &&
            entry.address >= request.start && entry.address - request.start < request.quantity) {
            return PlanSlot{i, static_cast<std::uint16_t>(entry.address - request.start)};
        }
    }
    return std::nullopt;
}

}  // namespace scan
