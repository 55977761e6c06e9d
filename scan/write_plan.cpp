#include "scan/write_plan.h"

#include <algorithm>

namespace scan {

namespace {

bool WritesBefore(const conversion::Assignment* a, const conversion::Assignment* b) {
    const bool a_coil = a->entry.table == conversion::ModbusTable::Coil;
    const bool b_coil = b->entry.table == conversion::ModbusTable::Coil;
    return a_coil != b_coil ? a_coil : a->entry.address < b->entry.address;
}

// Writes `run` (assignments of one table at consecutive addresses) in as few requests as the
// protocol allows; a request of one value uses the single-item code.
void PlanRun(std::span<const conversion::Assignment* const> run,
             std::span<const conversion::Assignment> assignments, WriteCodes codes,
             std::vector<PlannedWrite>& plan) {
    const bool coils = run.front()->entry.table == conversion::ModbusTable::Coil;
    const modbus::FunctionCode many = coils ? modbus::FunctionCode::WriteMultipleCoils
                                            : modbus::FunctionCode::WriteMultipleRegisters;
    const std::size_t most = codes == WriteCodes::Single ? 1 : modbus::MostItems(many).value_or(1);
    for (std::size_t first = 0; first < run.size(); first += most) {
        const std::size_t count = std::min(most, run.size() - first);
        PlannedWrite planned;
        modbus::WriteRequest& request = planned.request;
        request.function = count > 1 || codes == WriteCodes::Multiple ? many
                           : coils ? modbus::FunctionCode::WriteSingleCoil
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

text::Result<std::vector<PlannedWrite>> PlanWrites(
    std::span<const conversion::Assignment> assignments, WriteCodes codes) {
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
            PlanRun(std::span(sorted).subspan(first, i - first), assignments, codes, plan);
            first = i;
        }
    }
    return plan;
}

}  // namespace scan
