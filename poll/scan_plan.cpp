#include "poll/scan_plan.h"

#include <algorithm>
#include <array>

#include "conversion/device_map_parts.h"

namespace poll {

using conversion::AddressRun;
using conversion::RunAt;
using conversion::detail::IsBitTable;

namespace {

constexpr std::array<conversion::ModbusTable, 3> kTablesInPlanOrder{
    conversion::ModbusTable::Coil, conversion::ModbusTable::DiscreteInput,
    conversion::ModbusTable::HoldingRegister};

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

// The requests of one table, greedy from the lowest address: each reaches as far as it may.
void PlanTable(std::vector<std::uint16_t>& asked, conversion::ModbusTable table,
               BridgeLimits bridge, std::vector<modbus::ReadRequest>& plan) {
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

bool WritesBefore(const conversion::Assignment* a, const conversion::Assignment* b) {
    const bool a_coil = a->entry.table == conversion::ModbusTable::Coil;
    const bool b_coil = b->entry.table == conversion::ModbusTable::Coil;
    return a_coil != b_coil ? a_coil : a->entry.address < b->entry.address;
}

// Writes `run` (assignments of one table at consecutive addresses) in as few requests as the
// protocol allows; a request of one value uses the single-item code.
void PlanRun(std::span<const conversion::Assignment* const> run,
             std::span<const conversion::Assignment> assignments, std::vector<PlannedWrite>& plan) {
    const bool coils = run.front()->entry.table == conversion::ModbusTable::Coil;
    const modbus::FunctionCode many = coils ? modbus::FunctionCode::WriteMultipleCoils
                                            : modbus::FunctionCode::WriteMultipleRegisters;
    const std::size_t most = modbus::MostItems(many).value_or(1);
    for (std::size_t first = 0; first < run.size(); first += most) {
        const std::size_t count = std::min(most, run.size() - first);
        PlannedWrite planned;
        modbus::WriteRequest& request = planned.request;
        request.function = count > 1 ? many
                           : coils   ? modbus::FunctionCode::WriteSingleCoil
                                     : modbus::FunctionCode::WriteSingleRegister;
        request.start = run[first]->entry.address;
        for (const conversion::Assignment* assignment : run.subspan(first, count)) {
            request.values.push_back(coils ? std::uint16_t{assignment->value != 0}
                                           : assignment->value);
            planned.assignments.push_back(
                static_cast<std::size_t>(assignment - assignments.data()));
        }
        plan.push_back(std::move(planned));
    }
}

}  // namespace

std::vector<modbus::ReadRequest> PlanReads(std::span<const conversion::MapEntry> entries,
                                           BridgeLimits bridge) {
    std::vector<modbus::ReadRequest> plan;
    std::vector<std::uint16_t> asked;
    for (const conversion::ModbusTable table : kTablesInPlanOrder) {
        asked.clear();
        for (const conversion::MapEntry& entry : entries) {
            if (entry.table == table) {
                asked.push_back(entry.address);
            }
        }
        PlanTable(asked, table, bridge, plan);
    }
    return plan;
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

text::Result<std::vector<PlannedWrite>> PlanWrites(
    std::span<const conversion::Assignment> assignments) {
    std::vector<const conversion::Assignment*> sorted;
    sorted.reserve(assignments.size());
    for (const conversion::Assignment& assignment : assignments) {
        // ReadAssignment gives neither; a caller's own entry must not become a write to them.
        if (assignment.entry.table == conversion::ModbusTable::DiscreteInput) {
            return text::Failure{conversion::DeviceName(assignment.entry.device) +
                                 " is read as an input and cannot be written"};
        }
        if (assignment.entry.width == conversion::DataWidth::DoubleWord) {
            return text::Failure{conversion::DeviceName(assignment.entry.device) +
                                 " holds a 32-bit value and is not written"};
        }
        sorted.push_back(&assignment);
    }
    std::stable_sort(sorted.begin(), sorted.end(), WritesBefore);
    const auto same_entry = [](const conversion::Assignment* a, const conversion::Assignment* b) {
        return a->entry.table == b->entry.table && a->entry.address == b->entry.address;
    };
    if (const auto twice = std::adjacent_find(sorted.begin(), sorted.end(), same_entry);
        twice != sorted.end()) {
        return text::Failure{conversion::DeviceName((*twice)->entry.device) + " is assigned twice"};
    }
    std::vector<PlannedWrite> plan;
    std::size_t first = 0;
    for (std::size_t i = 1; i <= sorted.size(); ++i) {
        if (i == sorted.size() || sorted[i]->entry.table != sorted[i - 1]->entry.table ||
            sorted[i]->entry.address != sorted[i - 1]->entry.address + 1) {
            PlanRun(std::span(sorted).subspan(first, i - first), assignments, plan);
            first = i;
        }
    }
    return plan;
}

BridgeLimits BridgeFor(const transport::Connection& connection) noexcept {
    return connection.tcp ? kBridgeAnyGap : kSerialBridge;
}

}  // namespace poll
