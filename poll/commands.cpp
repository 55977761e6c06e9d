#include "poll/commands.h"

#include <algorithm>
#include <chrono>

#include "console/program.h"
#include "modbus/function_codes.h"
#include "poll/line_report.h"
#include "poll/plan_report.h"
#include "poll/report.h"
#include "scan/scanner.h"
#include "scan/typed_values.h"
#include "scan/value_text.h"

namespace poll {

namespace {

void ReportFailures(const scan::Scanner& scanner, const console::Messages& messages) {
    for (const auto& failure : scanner.failures()) {
        messages.Say(failure.devices + ": " + failure.message);
    }
}

// What to check when a scan ended at a request the controller did not answer.
void ReportEnd(const transport::Connection& connection, const scan::ScanEnd& end,
               const console::Messages& messages) {
    if (const auto hint = ScanEndHint(connection, end); !hint.empty()) {
        messages.Say(hint);
    }
}

}  // namespace

void ReportStats(const Options& options, const console::Messages& messages,
                 const transport::Link& link, std::uint64_t scans,
                 std::chrono::steady_clock::time_point started, const scan::Scanner* scanner) {
    messages.Say(StatsText(link.counters(), scans, std::chrono::steady_clock::now() - started));
    if (scanner == nullptr) {
        return;
    }
    const auto plan = PlanAtMeasuredDelay(options, scanner->entries(), scanner->low_words(),
                                          scanner->MeasuredReplyDelay());
    if (!plan.empty()) {
        messages.Say(plan);
    }
}

bool NextScanDue(const Options& options, std::uint64_t scan,
                 std::chrono::steady_clock::time_point started, transport::Link& link,
                 const Stopped& stopped) {
    if (options.count && scan == *options.count) {
        return false;
    }
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    link.Pause(std::max(options.interval - spent, std::chrono::milliseconds(0)));
    return !stopped();
}

int Read(const Options& options, const std::vector<scan::AskedValue>& asked, transport::Link& link,
         const Streams& streams) {
    const auto started = std::chrono::steady_clock::now();
    scan::Scanner scanner(scan::EntriesToRead(asked),
                          LineCostFor(options.connection, options.reply_delay),
                          scan::LowWordsOf(asked));
    scanner.Scan(link);
    if (options.stats) {
        ReportStats(options, streams.messages, link, 0, started, &scanner);
    }
    if (options.xlsx) {
        ReportFailures(scanner, streams.messages);
        const int written =
            WriteSpreadsheet(options.output, ScanRows(scan::ValuesAsAsked(asked, scanner.values())),
                             streams.messages);
        return written != console::kExitDone ? written
               : scanner.all_read()          ? console::kExitDone
                                             : console::kExitPartly;
    }
    console::Output& output = streams.out;
    const auto values = scan::ValuesAsAsked(asked, scanner.values());
    output.Write(options.influx ? InfluxLines(values, options.connection.slave,
                                              std::chrono::system_clock::now())
                                : ScanText(options.format, values));
    ReportFailures(scanner, streams.messages);
    if (const auto& end = scanner.ended_early()) {
        ReportEnd(options.connection, *end, streams.messages);
    }
    return output.Finish(scanner.all_read() ? console::kExitDone : console::kExitPartly,
                         streams.messages);
}

int Watch(const Options& options, const std::vector<scan::AskedValue>& asked, transport::Link& link,
          const Stopped& stopped, const ReportAsked& report_asked, const Streams& streams) {
    const auto first_started = std::chrono::steady_clock::now();
    std::uint64_t scans = 0;
    scan::Scanner scanner(scan::EntriesToRead(asked),
                          LineCostFor(options.connection, options.reply_delay),
                          scan::LowWordsOf(asked));
    const bool redraw =
        options.format == Format::Table && !options.influx && console::StandardOutputIsTerminal();
    WatchReport report(options.format, redraw, transport::ConnectionText(options.connection));
    console::Output& output = streams.out;
    std::string last_hint;  // said once, until the line's trouble changes
    for (std::uint64_t scan = 1; !options.count || scan <= *options.count; ++scan) {
        const auto started = std::chrono::steady_clock::now();
        scanner.Scan(link);
        if (stopped()) {
            break;  // a scan cut short is not shown as one
        }
        ++scans;
        if (report_asked()) {
            ReportStats(options, streams.messages, link, scans, first_started, &scanner);
        }
        if (!redraw) {
            // On a terminal the table shows each error in place, and lines below it would
            // scroll it away.
            ReportFailures(scanner, streams.messages);
            const auto& end = scanner.ended_early();
            const std::string hint = end ? ScanEndHint(options.connection, *end) : "";
            if (!hint.empty() && hint != last_hint) {
                streams.messages.Say(hint);
            }
            if (!end || !hint.empty()) {  // a line that went down keeps the last hint
                last_hint = hint;
            }
        }
        const auto now = std::chrono::system_clock::now();
        const auto values = scan::ValuesAsAsked(asked, scanner.values());
        if (!output.Write(options.influx
                              ? InfluxLines(values, options.connection.slave, now)
                              : report.After(scan, now, values, scanner.failures().size()))) {
            break;
        }
        if (!NextScanDue(options, scan, started, link, stopped)) {
            break;
        }
    }
    // On a terminal each error stood in the table; what to check is said once the table is no
    // longer redrawn, when the last scan ended at a request the controller did not answer.
    if (const auto& end = scanner.ended_early(); redraw && end) {
        ReportEnd(options.connection, *end, streams.messages);
    }
    if (options.stats || redraw) {
        ReportStats(options, streams.messages, link, scans, first_started, &scanner);
    }
    return output.Finish(scanner.all_read() ? console::kExitDone : console::kExitPartly,
                         streams.messages);
}

int Write(const Options& options, const std::vector<conversion::Assignment>& assignments,
          const std::vector<scan::PlannedWrite>& requests,
          const std::vector<scan::AskedValue>& written, transport::Link& link,
          const Streams& streams) {
    const auto started = std::chrono::steady_clock::now();
    const std::vector<conversion::MapEntry> entries = scan::EntriesToRead(written);
    // Why each entry was not written, by address and table.
    std::vector<std::string> not_written(assignments.size());
    std::optional<scan::ScanEnd> ended;
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
                ended = scan::EndAt(scan::DevicesText(devices), outcome);
                scan::SettleAfter(*ended, link);
                unsent = ended->message;
            }
        }
        if (failure.empty()) {
            continue;
        }
        for (const auto i : carried) {
            not_written[i] = "not written: " + failure;
        }
        streams.messages.Say(scan::DevicesText(devices) + ": not written: " + failure);
    }
    std::vector<scan::DeviceValue> values;
    bool all_read = false;
    scan::Scanner scanner(entries, LineCostFor(options.connection, options.reply_delay),
                          scan::LowWordsOf(written));
    if (ended) {
        for (const auto& entry : entries) {
            values.push_back({entry, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt});
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
    auto shown = scan::ValuesAsAsked(written, values);
    scan::MarkWritten(shown, written, assignments);
    const auto differ =
        static_cast<std::size_t>(std::count_if(shown.begin(), shown.end(), scan::WrittenDiffers));
    console::Output& output = streams.out;
    output.Write(ScanText(options.format, shown, true));
    ReportFailures(scanner, streams.messages);
    if (options.stats) {
        ReportStats(options, streams.messages, link, 0, started);
    }
    if (differ > 0 && options.verify) {
        streams.messages.Say(std::to_string(differ) +
                             (differ == 1 ? " device reads" : " devices read") +
                             " back other than written (--verify)");
    }
    if (ended) {
        ReportEnd(options.connection, *ended, streams.messages);
    }
    const bool verified = !options.verify || differ == 0;
    return output.Finish(
        all_written && all_read && verified ? console::kExitDone : console::kExitPartly,
        streams.messages);
}

}  // namespace poll
