#include <cstdio>
#include <nlohmann/json.hpp>

#include "web/console.h"
#include "web/page_socket.h"

// The console's writes: who may write, the write confirmed, sent in the console's turns and read
// back, and each logged with the browser that asked.
namespace web {

namespace {

std::string ErrorJson(const std::string& message) {
    return nlohmann::json{{"error", message}}.dump(-1, ' ', false,
                                                   nlohmann::json::error_handler_t::replace);
}

nlohmann::json RowsJson(const std::vector<WriteRow>& rows, bool confirm) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& row : rows) {
        nlohmann::json item{
            {"device", row.device}, {"address", row.address}, {"reference", row.reference}};
        if (confirm) {
            item["value"] = row.written;
        } else {
            item["written"] = row.written;
            item["read_back"] = row.read_back;
            item["error"] = row.error;
        }
        list.push_back(std::move(item));
    }
    return list;
}

}  // namespace

bool Console::KnownToken(const std::string& token) const {
    for (const auto& [id, weak] : site_->pages) {
        if (const auto page = weak.lock(); page && !token.empty() && page->token() == token) {
            return true;
        }
    }
    return false;
}

void Console::Write(const WriteAsked& asked, const WriteAnswered& answered) {
    if (!settings_.writes || settings_.read_only) {
        answered(403, ErrorJson(settings_.read_only
                                    ? "The gateway is read-only (--read-only): nothing is written."
                                    : "Writes are off: start the gateway with --web-writes."));
        return;
    }
    if (!KnownToken(asked.token)) {
        answered(403, ErrorJson("This page may not write: reload the console and try again."));
        return;
    }
    const auto body = nlohmann::json::parse(asked.body, nullptr, false);
    const auto item = body.is_object() ? body.find("item") : body.end();
    if (item == body.end() || !item->is_string()) {
        answered(400, ErrorJson(R"(A write names its item: {"item":"D100=250"}.)"));
        return;
    }
    const auto text = item->get<std::string>();
    auto writes = ReadWrite(text);
    if (auto* failure = std::get_if<text::Failure>(&writes)) {
        answered(400, ErrorJson(failure->message));
        return;
    }
    auto& planned = std::get<scan::AskedWrites>(writes);
    const auto confirmed = body.find("confirmed");
    if (confirmed == body.end() || !confirmed->is_boolean() || !confirmed->get<bool>()) {
        answered(200, nlohmann::json{{"confirm", RowsJson(RowsToConfirm(planned), true)}}.dump(
                          -1, ' ', false, nlohmann::json::error_handler_t::replace));
        return;
    }
    const std::string who = "console " + asked.peer;
    site_->log(who + " writes " + text);
    StepWrite(std::make_shared<WriteJob>(std::move(planned), cost_), who, text, answered);
}

void Console::StepWrite(const std::shared_ptr<WriteJob>& job, const std::string& who,
                        const std::string& item, const WriteAnswered& answered) {
    auto next = job->Next();
    if (!next) {
        const auto rows = job->Rows();
        std::string outcome = job->ok() ? "written and read back" : "not as asked";
        for (const auto& row : rows) {
            if (!row.error.empty()) {
                outcome += ": " + row.error;
                break;
            }
        }
        site_->log(who + " wrote " + item + ": " + outcome);
        answered(200, nlohmann::json{{"ok", job->ok()}, {"written", RowsJson(rows, false)}}.dump(
                          -1, ' ', false, nlohmann::json::error_handler_t::replace));
        return;
    }
    const auto pdu = *next;
    source_.Send(pdu, who,
                 [this, job, who, item, answered, pdu, sent = Clock::now()](
                     std::vector<std::uint8_t> answer, std::string result) {
                     if (closed_) {
                         answered(503, ErrorJson("the gateway stopped before the write was done"));
                         return;
                     }
                     job->Take(OutcomeOf(pdu, std::move(answer), std::move(result)),
                               Clock::now() - sent);
                     StepWrite(job, who, item, answered);
                 });
}

}  // namespace web
