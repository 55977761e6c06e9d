#include "web/console_write.h"

#include "modbus/function_codes.h"
#include "modbus/pdu.h"
#include "scan/value_text.h"
#include "web/watch_list.h"

namespace web {

namespace {

WriteRow RowOf(const scan::DeviceValue& value) {
    const auto cells = scan::CellsOf(value);
    return {cells[scan::DeviceCell],
            cells[scan::AddressCell],
            ReferenceText(value.entry.table, value.entry.address),
            scan::WrittenText(value),
            value.value ? scan::ValueText(value) : std::string(),
            cells[scan::ErrorCell]};
}

}  // namespace

transport::Outcome OutcomeOf(const std::vector<std::uint8_t>& request,
                             std::vector<std::uint8_t> answer, std::string result) {
    transport::Outcome outcome;
    outcome.tries = 1;
    if (answer.size() == 2 && modbus::IsExceptionFunction(answer[0]) &&
        (answer[1] == modbus::kGatewayPathUnavailable ||
         answer[1] == modbus::kGatewayTargetFailed)) {
        outcome.message = std::move(result);
        outcome.line = answer[1] == modbus::kGatewayPathUnavailable ? transport::LineState::Down
                                                                    : transport::LineState::Silent;
        return outcome;
    }
    auto reply = modbus::ReadReply(request, answer);
    if (reply.kind == modbus::ReplyKind::Unrelated) {
        outcome.message = reply.message;
    } else {
        outcome.reply = std::move(reply);
    }
    outcome.pdu = std::move(answer);
    return outcome;
}

text::Result<scan::AskedWrites> ReadWrite(const std::string& item) {
    auto writes = scan::ReadAskedWrites({item}, std::nullopt, conversion::BareNumbers::Any,
                                        scan::WriteCodes::Fewest);
    if (auto* asked = std::get_if<scan::AskedWrites>(&writes); asked && asked->written.empty()) {
        return text::Failure{"nothing to write"};
    }
    return writes;
}

std::vector<WriteRow> RowsToConfirm(const scan::AskedWrites& writes) {
    std::vector<scan::DeviceValue> values;
    for (const auto& entry : scan::EntriesToRead(writes.written)) {
        values.push_back({entry, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt});
    }
    auto shown = scan::ValuesAsAsked(writes.written, values);
    scan::MarkWritten(shown, writes.written, writes.assignments);
    std::vector<WriteRow> rows;
    rows.reserve(shown.size());
    for (const auto& value : shown) {
        rows.push_back(RowOf(value));
    }
    return rows;
}

WriteJob::WriteJob(scan::AskedWrites writes, const modbus::LineCost& cost)
    : writes_(std::move(writes)),
      not_written_(writes_.assignments.size()),
      read_back_(scan::EntriesToRead(writes_.written), cost, scan::LowWordsOf(writes_.written)) {
    read_back_.Begin();
}

std::optional<std::vector<std::uint8_t>> WriteJob::Next() const {
    if (next_write_ < writes_.requests.size()) {
        return modbus::RequestPdu(writes_.requests[next_write_].request);
    }
    if (!unsent_.empty()) {
        return std::nullopt;  // a silent line: nothing is read back
    }
    if (const auto* read = read_back_.Next()) {
        return modbus::RequestPdu(*read);
    }
    return std::nullopt;
}

void WriteJob::Take(const transport::Outcome& outcome, std::chrono::nanoseconds took) {
    if (next_write_ >= writes_.requests.size()) {
        read_back_.Take(outcome, took);
        return;
    }
    const auto& carried = writes_.requests[next_write_++].assignments;
    std::string failure = unsent_;
    if (unsent_.empty()) {
        failure = outcome.message;
        if (outcome.reply && outcome.reply->kind == modbus::ReplyKind::Exception) {
            failure = "the controller answered " + modbus::ExceptionText(outcome.reply->exception);
        }
        if (!outcome.reply && outcome.line != transport::LineState::Answering) {
            unsent_ = outcome.message;  // the rest would meet the same silence
        }
    }
    for (const auto i : carried) {
        if (!failure.empty() && i < not_written_.size()) {
            not_written_[i] = "not written: " + failure;
        }
    }
}

std::vector<WriteRow> WriteJob::Rows() const {
    std::vector<scan::DeviceValue> values = read_back_.values();
    for (std::size_t i = 0; i < values.size() && i < not_written_.size(); ++i) {
        if (!not_written_[i].empty()) {
            values[i].error =
                not_written_[i] + (values[i].error.empty() ? "" : "; " + values[i].error);
        }
        if (!unsent_.empty() && values[i].error.empty()) {
            values[i].error = "not read back: " + unsent_;
        }
    }
    auto shown = scan::ValuesAsAsked(writes_.written, values);
    scan::MarkWritten(shown, writes_.written, writes_.assignments);
    std::vector<WriteRow> rows;
    rows.reserve(shown.size());
    for (const auto& value : shown) {
        rows.push_back(RowOf(value));
    }
    return rows;
}

bool WriteJob::ok() const {
    for (const auto& row : Rows()) {
        if (!row.error.empty() || row.read_back != row.written) {
            return false;
        }
    }
    return true;
}

}  // namespace web
