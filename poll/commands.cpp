#include "poll/commands.h"

#include <algorithm>
#include <chrono>

#include "console/program.h"
#include "modbus/function_codes.h"
#include "poll/report.h"
#include "poll/scan.h"

namespace poll {

namespace {

const console::Messages kMessages("zentriq-poll");

void ReportFailures(const Scanner& scanner) {
    for (const auto& failure : scanner.failures()) {
        kMessages.Say(failure.devices + ": " + failure.message);
    }
}

// What to check when a scan ended at a request the controller did not answer.
void ReportEnd(const transport::Connection& connection, const ScanEnd& end) {
    if (const auto hint = ScanEndHint(connection, end); !hint.empty()) {
        kMessages.Say(hint);
    }
}

}  // namespace

int Read(const Options& options, const std::vector<AskedValue>& asked, transport::Link& link) {
    Scanner scanner(EntriesToRead(asked), LineCostFor(options.connection, options.reply_delay));
    scanner.Scan(link);
    console::Output output;
    output.Write(ScanText(options.format, ValuesAsAsked(asked, scanner.values())));
    ReportFailures(scanner);
    if (const auto& end = scanner.ended_early()) {
        ReportEnd(options.connection, *end);
    }
    return output.Finish(scanner.all_read() ? console::kExitDone : console::kExitPartly, kMessages);
}

int Watch(const Options& options, const std::vector<AskedValue>& asked, transport::Link& link,
          const Stopped& stopped) {
    Scanner scanner(EntriesToRead(asked), LineCostFor(options.connection, options.reply_delay));
    const bool redraw = options.format == Format::Table && console::StandardOutputIsTerminal();
    WatchReport report(options.format, redraw, transport::ConnectionText(options.connection));
    console::Output output;
    std::string last_hint;  // said once, until the line's trouble changes
    for (std::uint64_t scan = 1; !options.count || scan <= *options.count; ++scan) {
        const auto started = std::chrono::steady_clock::now();
        scanner.Scan(link);
        if (stopped()) {
            break;  // a scan cut short is not shown as one
        }
        if (!redraw) {
            // On a terminal the table shows each error in place, and lines below it would
            // scroll it away.
            ReportFailures(scanner);
            const auto& end = scanner.ended_early();
            const std::string hint = end ? ScanEndHint(options.connection, *end) : "";
            if (!hint.empty() && hint != last_hint) {
                kMessages.Say(hint);
            }
            if (!end || !hint.empty()) {  // a line that went down keeps the last hint
                last_hint = hint;
            }
        }
        if (!output.Write(report.After(scan, std::chrono::system_clock::now(),
                                       ValuesAsAsked(asked, scanner.values()),
                                       scanner.failures().size()))) {
            break;
        }
        if (options.count && scan == *options.count) {
            break;
        }
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        link.Pause(std::max(options.interval - spent, std::chrono::milliseconds(0)));
        if (stopped()) {
            break;
        }
    }
    // On a terminal each error stood in the table; what to check is said once the table is no
    // longer redrawn, when the last scan ended at a request the controller did not answer.
    if (const auto& end = scanner.ended_early(); redraw && end) {
        ReportEnd(options.connection, *end);
    }
    return output.Finish(scanner.all_read() ? console::kExitDone : console::kExitPartly, kMessages);
}

int Write(const Options& options, const std::vector<conversion::Assignment>& assignments,
          const std::vector<PlannedWrite>& requests, const std::vector<AskedValue>& written,
          transport::Link& link) {
    const std::vector<conversion::MapEntry> entries = EntriesToRead(written);
    // Why each entry was not written, by address and table.
    std::vector<std::string> not_written(assignments.size());
    std::optional<ScanEnd> ended;
    std::string unsent;  // why the requests after a silent one were not sent
    for (const auto& [request, carried] : requests) {
        std::vector<conversion::MapEntry> devices;
        devices.reserve(carried.size());
        for (const auto i : carried) {
            devices.push_back(entries[i]);
        }
        std::string failure = unsent;
        if (!ended) {
            const auto outcome = link.Transact(modbus::RequestPdu(request));
            failure = outcome.message;
            if (outcome.reply && outcome.reply->kind == modbus::ReplyKind::Exception) {
                failure =
                    "the controller answered " + modbus::ExceptionText(outcome.reply->exception);
            }
            if (!outcome.reply && outcome.line != transport::LineState::Answering) {
                // The rest would meet the same silence: not sent, and nothing read back.
                ended = EndAt(DevicesText(devices), outcome, link);
                unsent = ended->message;
            }
        }
        if (failure.empty()) {
            continue;
        }
        for (const auto i : carried) {
            not_written[i] = "not written: " + failure;
        }
        kMessages.Say(DevicesText(devices) + ": not written: " + failure);
    }
    std::vector<DeviceValue> values;
    bool all_read = false;
    Scanner scanner(entries, LineCostFor(options.connection, options.reply_delay));
    if (ended) {
        for (const auto& entry : entries) {
            values.push_back({entry, std::nullopt, {}, std::nullopt, std::nullopt});
        }
    } else {
        scanner.Scan(link);
        values = scanner.values();
        all_read = scanner.all_read();
        ended = scanner.ended_early();
    }
    bool all_written = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!not_written[i].empty()) {
            all_written = false;
            values[i].error =
                not_written[i] + (values[i].error.empty() ? "" : "; " + values[i].error);
        }
    }
    console::Output output;
    output.Write(ScanText(options.format, ValuesAsAsked(written, values)));
    ReportFailures(scanner);
    if (ended) {
        ReportEnd(options.connection, *ended);
    }
    return output.Finish(all_written && all_read ? console::kExitDone : console::kExitPartly,
                         kMessages);
}

}  // namespace poll
