#include "poll/scan.h"

#include <algorithm>
#include <numeric>

#include "modbus/function_codes.h"
#include "modbus/pdu.h"

namespace poll {

namespace {

constexpr std::uint8_t kIllegalDataAddress = 0x02;

}  // namespace

std::string DevicesText(const std::vector<conversion::MapEntry>& entries) {
    std::vector<conversion::MapEntry> sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.address < b.address; });
    std::string text;
    for (std::size_t first = 0; first < sorted.size();) {
        // A letter's devices lie together in a request's address range: one segment or two.
        std::size_t last = first;
        while (last + 1 < sorted.size() &&
               sorted[last + 1].device.letter == sorted[first].device.letter) {
            ++last;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += conversion::DeviceName(sorted[first].device);
        if (sorted[last].address != sorted[first].address) {
            // Two appends, not "-" + name: MinGW's GCC 12 at -O3 sees a false overlap (-Wrestrict)
            // in operator+ of a literal and a temporary string.
            text += '-';
            text += conversion::DeviceName(sorted[last].device);
        }
        first = last + 1;
    }
    return text;
}

Scanner::Scanner(const std::vector<conversion::MapEntry>& entries,
                 conversion::BridgeLimits bridge) {
    values_.reserve(entries.size());
    for (const auto& entry : entries) {
        values_.push_back({entry, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt});
    }
    std::vector<std::size_t> all(values_.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    plan_ = PlanFor(all, bridge);
}

std::vector<Scanner::Planned> Scanner::PlanFor(const std::vector<std::size_t>& asked,
                                               conversion::BridgeLimits bridge) const {
    std::vector<conversion::MapEntry> entries;
    entries.reserve(asked.size());
    for (const auto index : asked) {
        entries.push_back(values_[index].entry);
    }
    std::vector<Planned> plan;
    for (const auto& request : conversion::PlanReads(entries, bridge)) {
        plan.push_back({request, {}});
    }
    // Each device goes to the request that reads its table and address.
    std::vector<modbus::ReadRequest> requests;
    requests.reserve(plan.size());
    for (const auto& planned : plan) {
        requests.push_back(planned.request);
    }
    for (const auto index : asked) {
        if (const auto slot = conversion::SlotOf(requests, values_[index].entry)) {
            plan[slot->request].asked.push_back(index);
        }
    }
    return plan;
}

void Scanner::Fail(const Planned& planned, const std::string& message) {
    for (const auto index : planned.asked) {
        values_[index].value.reset();
        values_[index].error = message;
    }
    failures_.push_back({RequestText(planned), message});
}

bool Scanner::Split(std::size_t index) {
    const Planned refused = plan_[index];
    auto parts = PlanFor(refused.asked, conversion::BridgeLimits{});
    if (parts.size() == 1) {
        // Consecutive devices without a gap: each alone, to find the one the model lacks.
        parts.clear();
        for (const auto asked : refused.asked) {
            auto alone = PlanFor({asked}, conversion::BridgeLimits{});
            parts.insert(parts.end(), alone.begin(), alone.end());
        }
        // Repeats of one device come back as one request each; keep one.
        parts.erase(
            std::unique(parts.begin(), parts.end(),
                        [](const Planned& a, const Planned& b) { return a.request == b.request; }),
            parts.end());
    }
    if (parts.size() <= 1) {
        return false;
    }
    plan_.erase(plan_.begin() + static_cast<std::ptrdiff_t>(index));
    plan_.insert(plan_.begin() + static_cast<std::ptrdiff_t>(index), parts.begin(), parts.end());
    return true;
}

ScanEnd EndAt(std::string devices, const transport::Outcome& outcome, transport::Link& link) {
    ScanEnd end{std::move(devices), outcome.line, std::nullopt, outcome.message};
    if (outcome.line == transport::LineState::Silent) {
        end.late = link.Settle();
        end.message = "the controller did not answer " + end.devices;
    }
    return end;
}

void Scanner::EndAfter(std::size_t index, const transport::Outcome& outcome,
                       transport::Link& link) {
    ScanEnd end = EndAt(RequestText(plan_[index]), outcome, link);
    const std::string message = "not read: " + end.message;
    std::vector<std::string> labels;
    for (std::size_t i = index + 1; i < plan_.size(); ++i) {
        for (const auto asked : plan_[i].asked) {
            values_[asked].value.reset();
            values_[asked].error = message;
        }
        labels.push_back(RequestText(plan_[i]));
    }
    if (!labels.empty()) {
        constexpr std::size_t kNamed = 3;
        std::string devices = labels.front();
        for (std::size_t i = 1; i < std::min(labels.size(), kNamed); ++i) {
            devices += (labels.size() == 2 ? " and " : ", ") + labels[i];
        }
        if (labels.size() > kNamed) {
            devices += " and " + std::to_string(labels.size() - kNamed) + " more requests";
        }
        failures_.push_back({std::move(devices), message});
    }
    ended_early_ = std::move(end);
}

std::string Scanner::RequestText(const Planned& planned) const {
    std::vector<conversion::MapEntry> entries;
    entries.reserve(planned.asked.size());
    for (const auto index : planned.asked) {
        entries.push_back(values_[index].entry);
    }
    return DevicesText(entries);
}

void Scanner::Scan(transport::Link& link) {
    failures_.clear();
    ended_early_.reset();
    std::size_t i = 0;
    while (i < plan_.size()) {
        const transport::Outcome outcome = link.Transact(modbus::RequestPdu(plan_[i].request));
        if (!outcome.reply) {
            Fail(plan_[i], outcome.message);
            if (outcome.line != transport::LineState::Answering) {
                EndAfter(i, outcome, link);
                return;
            }
            ++i;
            continue;
        }
        const auto& reply = *outcome.reply;
        if (reply.kind == modbus::ReplyKind::Exception) {
            // The first part of a split request now stands at i and is sent next.
            if (reply.exception != kIllegalDataAddress || !Split(i)) {
                Fail(plan_[i++],
                     "the controller answered " + modbus::ExceptionText(reply.exception));
            }
            continue;
        }
        for (const auto index : plan_[i].asked) {
            const auto offset =
                static_cast<std::size_t>(values_[index].entry.address - plan_[i].request.start);
            values_[index].value = reply.values[offset];
            values_[index].error.clear();
        }
        ++i;
    }
}

}  // namespace poll
