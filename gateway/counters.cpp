#include "gateway/counters.h"

#include "text/ascii_text.h"

namespace gateway {

namespace {

std::string Counted(std::uint64_t count, const char* one, const char* more) {
    return std::to_string(count) + " " + (count == 1 ? one : more);
}

}  // namespace

std::string CountersText(const Counters& counters, std::chrono::steady_clock::time_point now) {
    std::string text = Counted(counters.requests, "request", "requests") + ", " +
                       Counted(counters.retries, "retry", "retries") + ", " +
                       Counted(counters.timeouts, "timeout", "timeouts") + ", exceptions";
    bool any = false;
    for (std::size_t code = 0; code < counters.exceptions.size(); ++code) {
        if (counters.exceptions[code] != 0) {
            text += ' ';
            text::ascii::AppendHexByte(text, static_cast<std::uint8_t>(code));
            text.append(":").append(std::to_string(counters.exceptions[code]));
            any = true;
        }
    }
    if (!any) {
        text += " none";
    }
    const auto running = now - counters.started;
    const auto busy_percent = running.count() <= 0 ? 0 : counters.line_busy * 100 / running;
    text.append(", clients ")
        .append(std::to_string(counters.clients_now))
        .append(" now / ")
        .append(std::to_string(counters.clients_total))
        .append(" in total, line busy ")
        .append(std::to_string(busy_percent))
        .append(" %");
    return text;
}

}  // namespace gateway
