#include "conversion/read_plan.h"

#include <algorithm>
#include <array>

#include "conversion/device_map_parts.h"

namespace conversion {

using detail::IsBitTable;

namespace {

constexpr std::array<ModbusTable, 3> kTablesInPlanOrder{
    ModbusTable::Coil, ModbusTable::DiscreteInput, ModbusTable::HoldingRegister};

modbus::FunctionCode ReadCode(ModbusTable table) noexcept {
    switch (table) {
        case ModbusTable::Coil:
            return modbus::FunctionCode::ReadCoils;
        case ModbusTable::DiscreteInput:
            return modbus::FunctionCode::ReadDiscreteInputs;
        case ModbusTable::HoldingRegister:
            break;
    }
    return modbus::FunctionCode::ReadHoldingRegisters;
}

bool IsReadCode(modbus::FunctionCode code) noexcept {
    return code == modbus::FunctionCode::ReadCoils ||
           code == modbus::FunctionCode::ReadDiscreteInputs ||
           code == modbus::FunctionCode::ReadHoldingRegisters;
}

// Whether every address strictly between `after` and `before` has a device that `table` answers.
// Code 02 answers every bit device, code 01 only the coils, so X's addresses are a hole for 01.
bool AllDevicesBetween(std::uint16_t after, std::uint16_t before, ModbusTable table) noexcept {
    const bool bits = IsBitTable(table);
    std::uint32_t address = after + 1u;
    while (address < before) {
        const AddressRun run = RunAt(static_cast<std::uint16_t>(address),
                                     static_cast<std::uint16_t>(before - 1u), bits);
        if (run.segment == nullptr ||
            (table == ModbusTable::Coil && run.segment->table != ModbusTable::Coil)) {
            return false;
        }
        address = run.last + 1u;
    }
    return true;
}

// The requests of one table, greedy from the lowest address: each reaches as far as it may.
void PlanTable(std::vector<std::uint16_t>& asked, ModbusTable table, BridgeLimits bridge,
               std::vector<modbus::ReadRequest>& plan) {
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    const modbus::FunctionCode code = ReadCode(table);
    const std::uint32_t most = modbus::MostItems(code).value_or(1);
    const std::uint32_t gap = IsBitTable(table) ? bridge.bits : bridge.registers;
    std::size_t i = 0;
    while (i < asked.size()) {
        const std::uint32_t start = asked[i];
        std::uint32_t last = start;
        for (++i; i < asked.size(); ++i) {
            const std::uint32_t next = asked[i];
            if (next - start + 1 > most || next - last - 1 > gap ||
                !AllDevicesBetween(static_cast<std::uint16_t>(last),
                                   static_cast<std::uint16_t>(next), table)) {
                break;
            }
            last = next;
        }
        plan.push_back({code, static_cast<std::uint16_t>(start),
                        static_cast<std::uint16_t>(last - start + 1)});
    }
}

}  // namespace

std::vector<modbus::ReadRequest> PlanReads(std::span<const MapEntry> entries, BridgeLimits bridge) {
    std::vector<modbus::ReadRequest> plan;
    std::vector<std::uint16_t> asked;
    for (const ModbusTable table : kTablesInPlanOrder) {
        asked.clear();
        for (const MapEntry& entry : entries) {
            if (entry.table == table) {
                asked.push_back(entry.address);
            }
        }
        PlanTable(asked, table, bridge, plan);
    }
    return plan;
}

ModbusTable TableRead(modbus::FunctionCode function) noexcept {
    switch (function) {
        case modbus::FunctionCode::ReadCoils:
            return ModbusTable::Coil;
        case modbus::FunctionCode::ReadDiscreteInputs:
            return ModbusTable::DiscreteInput;
        default:
            return ModbusTable::HoldingRegister;
    }
}

std::optional<PlanSlot> SlotOf(std::span<const modbus::ReadRequest> plan,
                               const MapEntry& entry) noexcept {
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const modbus::ReadRequest& request = plan[i];
        if (IsReadCode(request.function) && TableRead(request.function) == entry.table &&
            entry.address >= request.start && entry.address - request.start < request.quantity) {
            return PlanSlot{i, static_cast<std::uint16_t>(entry.address - request.start)};
        }
    }
    return std::nullopt;
}

}  // namespace conversion
