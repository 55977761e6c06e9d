#include "scan/scanner.h"

#include <algorithm>
#include <numeric>

#include "modbus/function_codes.h"
#include "modbus/pdu.h"

namespace scan {

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

Scanner::Scanner(const std::vector<conversion::MapEntry>& entries, const modbus::LineCost& cost,
                 std::vector<conversion::MapEntry> low_words)
    : low_words_(std::move(low_words)), line_(cost) {
    line_.reply_delay = {};
    values_.reserve(entries.size());
    for (const auto& entry : entries) {
        values_.push_back({entry, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt});
    }
    std::vector<std::size_t> all(values_.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    plan_ = Attach(scan::PlanReads(entries, cost, low_words_), all);
}

std::vector<Scanner::Planned> Scanner::Attach(const std::vector<modbus::ReadRequest>& requests,
                                              const std::vector<std::size_t>& asked) const {
    std::vector<Planned> plan;
    plan.reserve(requests.size());
    for (const auto& request : requests) {
        plan.push_back({request, {}});
    }
    // Each device goes to the request that reads its table and address.
    for (const auto index : asked) {
        if (const auto slot = scan::SlotOf(requests, values_[index].entry)) {
            plan[slot->request].asked.push_back(index);
        }
    }
    return plan;
}

std::vector<PlannedRead> Scanner::PlannedReads() const {
    std::vector<PlannedRead> reads;
    reads.reserve(plan_.size());
    for (const auto& planned : plan_) {
        reads.push_back({planned.request, RequestText(planned)});
    }
    return reads;
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
    std::vector<std::uint16_t> addresses;
    addresses.reserve(refused.asked.size());
    for (const auto asked : refused.asked) {
        addresses.push_back(values_[asked].entry.address);
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    // The runs of consecutive devices asked for, nothing read across; a request that was one run
    // already goes device by device, to find the one the model lacks.
    std::vector<modbus::ReadRequest> parts;
    parts.reserve(addresses.size());
    const modbus::FunctionCode code = refused.request.function;
    for (const auto address : addresses) {
        if (!parts.empty() && address == parts.back().start + parts.back().quantity) {
            ++parts.back().quantity;
        } else {
            parts.push_back({code, address, 1});
        }
    }
    if (parts.size() == 1) {
        // Device by device, but a 32-bit value's two words still in one request.
        parts.clear();
        const conversion::ModbusTable table = scan::TableRead(code);
        bool high_word = false;
        for (const auto address : addresses) {
            if (high_word) {
                ++parts.back().quantity;
            } else {
                parts.push_back({code, address, 1});
            }
            high_word = std::any_of(low_words_.begin(), low_words_.end(), [&](const auto& low) {
                return !high_word && low.table == table && low.address == address;
            });
        }
    }
    if (parts.size() <= 1) {
        return false;
    }
    const auto split = Attach(parts, refused.asked);
    plan_.erase(plan_.begin() + static_cast<std::ptrdiff_t>(index));
    plan_.insert(plan_.begin() + static_cast<std::ptrdiff_t>(index), split.begin(), split.end());
    return true;
}

ScanEnd EndAt(std::string devices, const transport::Outcome& outcome) {
    ScanEnd end{std::move(devices), outcome.line, std::nullopt, outcome.message};
    if (outcome.line == transport::LineState::Silent) {
        end.message = "the controller did not answer " + end.devices;
    }
    return end;
}

void SettleAfter(ScanEnd& end, transport::Link& link) {
    if (end.line == transport::LineState::Silent) {
        end.late = link.Settle();
    }
}

void Scanner::EndAfter(std::size_t index, const transport::Outcome& outcome) {
    ScanEnd end = EndAt(RequestText(plan_[index]), outcome);
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

std::vector<conversion::MapEntry> Scanner::entries() const {
    std::vector<conversion::MapEntry> entries;
    entries.reserve(values_.size());
    for (const auto& value : values_) {
        entries.push_back(value.entry);
    }
    return entries;
}

std::optional<std::chrono::milliseconds> Scanner::MeasuredReplyDelay() const {
    std::uint64_t answers = 0;
    for (const auto& [ms, count] : delays_) {
        answers += count;
    }
    std::uint64_t seen = 0;
    for (const auto& [ms, count] : delays_) {
        seen += count;
        if (2 * seen >= answers) {
            return std::chrono::milliseconds(ms);
        }
    }
    return std::nullopt;
}

void Scanner::Scan(transport::Link& link) {
    Begin();
    while (const modbus::ReadRequest* request = Next()) {
        const auto sent = std::chrono::steady_clock::now();
        const transport::Outcome outcome = link.Transact(modbus::RequestPdu(*request));
        Take(outcome, std::chrono::steady_clock::now() - sent);
    }
    if (ended_early_) {
        SettleAfter(*ended_early_, link);
    }
}

void Scanner::Begin() {
    failures_.clear();
    ended_early_.reset();
    next_ = 0;
}

const modbus::ReadRequest* Scanner::Next() const {
    return next_ < plan_.size() && !ended_early_ ? &plan_[next_].request : nullptr;
}

void Scanner::Take(const transport::Outcome& outcome, std::chrono::nanoseconds took) {
    const std::size_t i = next_;
    if (i >= plan_.size() || ended_early_) {
        return;  // no request was given out
    }
    if (outcome.reply && outcome.tries == 1 && line_.mode) {
        const auto waited = took - modbus::ReadTime(line_, plan_[i].request);
        ++delays_[std::max<std::int64_t>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(waited).count())];
    }
    if (!outcome.reply) {
        Fail(plan_[i], outcome.message);
        if (outcome.line != transport::LineState::Answering) {
            EndAfter(i, outcome);
        }
        ++next_;
        return;
    }
    const auto& reply = *outcome.reply;
    if (reply.kind == modbus::ReplyKind::Exception) {
        // The first part of a split request now stands at i and is sent next.
        if (reply.exception != kIllegalDataAddress || !Split(i)) {
            Fail(plan_[next_++],
                 "the controller answered " + modbus::ExceptionText(reply.exception));
        }
        return;
    }
    if (reply.values.size() != plan_[i].request.quantity) {
        // An outcome handed in by a caller that read it against another request.
        Fail(plan_[next_++], "a reply of " + std::to_string(reply.values.size()) +
                                 " values to a read of " +
                                 std::to_string(plan_[i].request.quantity));
        return;
    }
    for (const auto index : plan_[i].asked) {
        const auto offset =
            static_cast<std::size_t>(values_[index].entry.address - plan_[i].request.start);
        values_[index].value = reply.values[offset];
        values_[index].error.clear();
    }
    ++next_;
}

}  // namespace scan
