// read and watch over a tag list: the list's rows with their live values, as CSV in the list's own
// separator (or a spreadsheet), and on a terminal a watch's table redrawn in place.
#include <chrono>

#include "console/program.h"
#include "console/text_table.h"
#include "poll/commands.h"
#include "poll/line_report.h"
#include "poll/report.h"
#include "scan/scanner.h"
#include "taglist/xlsx_writer.h"

namespace poll {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Says once, on standard error, each row whose item names nothing; whether there was one.
bool ReportRowErrors(const TagList& list, const console::Messages& messages) {
    bool any = false;
    for (const auto& row : list.rows) {
        if (!row.error.empty()) {
            messages.Say("line " + std::to_string(row.line) + ": " + row.error);
            any = true;
        }
    }
    return any;
}

void ReportFailures(const scan::Scanner& scanner, const console::Messages& messages) {
    for (const auto& failure : scanner.failures()) {
        messages.Say(failure.devices + ": " + failure.message);
    }
}

}  // namespace

int WriteSpreadsheet(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                     const console::Messages& messages) {
    auto created = taglist::XlsxWriter::Create(path);
    if (auto* failure = std::get_if<text::Failure>(&created)) {
        return messages.Failure(failure->message);
    }
    const auto& sheet = std::get<std::unique_ptr<taglist::XlsxWriter>>(created);
    for (const auto& cells : rows) {
        std::vector<taglist::XlsxCell> row;
        row.reserve(cells.size());
        for (const auto& cell : cells) {
            row.push_back({cell, false});
        }
        std::string message;
        if (sheet->AddRow(row, message) == taglist::XlsxWriter::RowResult::Failed) {
            break;
        }
    }
    if (auto failure = sheet->Close()) {
        return messages.Failure(failure->message);
    }
    return console::kExitDone;
}

int ReadBatch(const Options& options, const TagList& list, transport::Link& link,
              const Streams& streams) {
    const auto started = std::chrono::steady_clock::now();
    scan::Scanner scanner(scan::EntriesToRead(list.asked),
                          LineCostFor(options.connection, options.reply_delay),
                          scan::LowWordsOf(list.asked));
    scanner.Scan(link);
    if (options.stats) {
        ReportStats(options, streams.messages, link, 0, started, &scanner);
    }
    const auto values = scan::ValuesAsAsked(list.asked, scanner.values());
    const bool row_errors = ReportRowErrors(list, streams.messages);
    ReportFailures(scanner, streams.messages);
    const int status =
        scanner.all_read() && !row_errors ? console::kExitDone : console::kExitPartly;
    if (options.xlsx) {
        const int written =
            WriteSpreadsheet(options.output, TagRows(list, values), streams.messages);
        return written != console::kExitDone ? written : status;
    }
    console::Output& output = streams.out;
    if (list.marked_unicode) {
        output.Write(kByteOrderMark);
    }
    output.Write(TagListText(list, values));
    return output.Finish(status, streams.messages);
}

int WatchBatch(const Options& options, const TagList& list, transport::Link& link,
               const Stopped& stopped, const ReportAsked& report_asked, const Streams& streams) {
    const auto first_started = std::chrono::steady_clock::now();
    std::uint64_t scans = 0;
    scan::Scanner scanner(scan::EntriesToRead(list.asked),
                          LineCostFor(options.connection, options.reply_delay),
                          scan::LowWordsOf(list.asked));
    const bool redraw = console::StandardOutputIsTerminal();
    console::Output& output = streams.out;
    bool row_errors = false;
    if (!redraw) {
        row_errors = ReportRowErrors(list, streams.messages);
        if (list.marked_unicode) {
            output.Write(kByteOrderMark);
        }
    }
    std::size_t lines_drawn = 0;
    for (std::uint64_t scan = 1; !options.count || scan <= *options.count; ++scan) {
        const auto started = std::chrono::steady_clock::now();
        scanner.Scan(link);
        if (stopped()) {
            break;
        }
        ++scans;
        if (report_asked()) {
            ReportStats(options, streams.messages, link, scans, first_started, &scanner);
        }
        const auto values = scan::ValuesAsAsked(list.asked, scanner.values());
        std::string text;
        if (redraw) {
            std::string body = transport::ConnectionText(options.connection) + "\nscan " +
                               std::to_string(scan) + "  (Ctrl-C ends)\n\n";
            console::AppendTable(body, TagRows(list, values));
            text = DrawnOver(body, lines_drawn);
        } else {
            ReportFailures(scanner, streams.messages);
            text = TagListText(list, values);
        }
        if (!output.Write(text)) {
            break;
        }
        if (!NextScanDue(options, scan, started, link, stopped)) {
            break;
        }
    }
    if (redraw) {
        row_errors = ReportRowErrors(list, streams.messages);
    }
    if (options.stats || redraw) {
        ReportStats(options, streams.messages, link, scans, first_started, &scanner);
    }
    return output.Finish(
        scanner.all_read() && !row_errors ? console::kExitDone : console::kExitPartly,
        streams.messages);
}

}  // namespace poll
