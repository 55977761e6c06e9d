// zentriq-poll: the controller's devices by name, read, watched and written over a serial line or
// Modbus TCP. main reads the command line and the items into map entries before anything is sent,
// opens the line, and runs the one command asked for.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "console/file_io.h"
#include "console/platform.h"
#include "conversion/poll_items.h"
#include "poll/link.h"
#include "poll/options.h"
#include "poll/report.h"
#include "poll/scan.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kAllDone = 0;
constexpr int kSomeNotDone = 1;
constexpr int kUsageError = 2;

// On a serial line at 9600 baud a request and its reply's frame cost about as much line time as
// eight registers or 128 bits do: gaps shorter than that are read across rather than asked for
// apart. Over TCP the round trip is what costs, so every gap a request can span is bridged.
constexpr conversion::BridgeLimits kSerialBridge{128, 8};

void ToStderr(std::string_view text) {
    console::WriteAll(2, text);
}

int UsageError(const std::string& message) {
    ToStderr("zentriq-poll: " + message + "\nRun with --help for more information.\n");
    return kUsageError;
}

int Failure(const std::string& message) {
    ToStderr("zentriq-poll: " + message + "\n");
    return kUsageError;
}

// Standard output, written as results come; a reader that went away (| head) ends the run
// quietly, any other failure with a message.
class Output {
  public:
    bool Write(std::string_view text) {
        if (error_ == 0) {
            error_ = console::WriteAll(1, text);
        }
        return error_ == 0;
    }

    int Finish(int status) const {
        if (error_ == 0 || error_ == EPIPE) {
            return status;
        }
        return Failure(std::string("cannot write standard output: ") + std::strerror(error_));
    }

    bool closed() const { return error_ != 0; }

  private:
    int error_ = 0;
};

bool StandardOutputIsTerminal() {
#ifdef _WIN32
    if (_isatty(1) == 0) {
        return false;
    }
    // The console draws the redrawn table only once it reads escape sequences.
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) != 0 &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(1) != 0;
#endif
}

void ReportFailures(const live::Scanner& scanner) {
    for (const auto& failure : scanner.failures()) {
        ToStderr("zentriq-poll: " + failure.devices + ": " + failure.message + "\n");
    }
}

// What to check when a scan ended at a request the controller did not answer.
void ReportEnd(const live::Connection& connection, const live::ScanEnd& end) {
    if (const auto hint = live::ScanEndHint(connection, end); !hint.empty()) {
        ToStderr("zentriq-poll: " + hint + "\n");
    }
}

conversion::BridgeLimits BridgeFor(const live::Connection& connection) {
    return connection.tcp ? conversion::kBridgeAnyGap : kSerialBridge;
}

int Read(const live::Options& options, const std::vector<conversion::MapEntry>& entries,
         live::Link& link) {
    live::Scanner scanner(entries, BridgeFor(options.connection));
    scanner.Scan(link);
    Output output;
    output.Write(live::ScanText(options.format, scanner.values()));
    ReportFailures(scanner);
    if (const auto& end = scanner.ended_early()) {
        ReportEnd(options.connection, *end);
    }
    return output.Finish(scanner.all_read() ? kAllDone : kSomeNotDone);
}

int Watch(const live::Options& options, const std::vector<conversion::MapEntry>& entries,
          live::Link& link) {
    live::Scanner scanner(entries, BridgeFor(options.connection));
    const bool redraw = options.format == live::Format::Table && StandardOutputIsTerminal();
    live::WatchReport report(options.format, redraw, live::ConnectionText(options.connection));
    Output output;
    std::string last_hint;  // said once, until the line's trouble changes
    for (std::uint64_t scan = 1; !options.count || scan <= *options.count; ++scan) {
        const auto started = std::chrono::steady_clock::now();
        scanner.Scan(link);
        if (live::Interrupted()) {
            break;  // a scan cut short is not shown as one
        }
        if (!redraw) {
            // On a terminal the table shows each error in place, and lines below it would
            // scroll it away.
            ReportFailures(scanner);
            const auto& end = scanner.ended_early();
            const std::string hint = end ? live::ScanEndHint(options.connection, *end) : "";
            if (!hint.empty() && hint != last_hint) {
                ToStderr("zentriq-poll: " + hint + "\n");
            }
            if (!end || !hint.empty()) {  // a line that went down keeps the last hint
                last_hint = hint;
            }
        }
        if (!output.Write(report.After(scan, std::chrono::system_clock::now(), scanner.values(),
                                       scanner.failures().size()))) {
            break;
        }
        if (options.count && scan == *options.count) {
            break;
        }
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        link.Pause(std::max(options.interval - spent, std::chrono::milliseconds(0)));
        if (live::Interrupted()) {
            break;
        }
    }
    // On a terminal each error stood in the table; what to check is said once the table is no
    // longer redrawn, when the last scan ended at a request the controller did not answer.
    if (const auto& end = scanner.ended_early(); redraw && end) {
        ReportEnd(options.connection, *end);
    }
    return output.Finish(scanner.all_read() ? kAllDone : kSomeNotDone);
}

// The assignments `request` carries: those of its table within its address range.
std::vector<std::size_t> Carried(const std::vector<conversion::Assignment>& assignments,
                                 const modbus::WriteRequest& request) {
    const bool bits = modbus::ReachesBits(request.function);
    std::vector<std::size_t> carried;
    for (std::size_t i = 0; i < assignments.size(); ++i) {
        const auto& entry = assignments[i].entry;
        if ((entry.table == conversion::ModbusTable::Coil) == bits &&
            entry.address >= request.start &&
            entry.address < request.start + request.values.size()) {
            carried.push_back(i);
        }
    }
    return carried;
}

int Write(const live::Options& options, const std::vector<conversion::Assignment>& assignments,
          const std::vector<modbus::WriteRequest>& requests, live::Link& link) {
    std::vector<conversion::MapEntry> entries;
    entries.reserve(assignments.size());
    for (const auto& assignment : assignments) {
        entries.push_back(assignment.entry);
    }
    // Why each entry was not written, by address and table.
    std::vector<std::string> not_written(assignments.size());
    std::optional<live::ScanEnd> ended;
    std::string unsent;  // why the requests after a silent one were not sent
    for (const auto& request : requests) {
        const auto carried = Carried(assignments, request);
        std::vector<conversion::MapEntry> devices;
        devices.reserve(carried.size());
        for (const auto i : carried) {
            devices.push_back(entries[i]);
        }
        std::string failure = unsent;
        if (!ended) {
            const auto outcome = link.Transact(modbus::RequestPdu(request));
            failure = outcome.failure;
            if (outcome.reply && outcome.reply->kind == modbus::ReplyKind::Exception) {
                failure =
                    "the controller answered " + modbus::ExceptionText(outcome.reply->exception);
            }
            if (!outcome.reply && outcome.line != live::LineState::Answering) {
                // The rest would meet the same silence: not sent, and nothing read back.
                ended = live::EndAt(live::DevicesText(devices), outcome, link);
                unsent = ended->why;
            }
        }
        if (failure.empty()) {
            continue;
        }
        for (const auto i : carried) {
            not_written[i] = "not written: " + failure;
        }
        ToStderr("zentriq-poll: " + live::DevicesText(devices) + ": not written: " + failure +
                 "\n");
    }
    std::vector<live::DeviceValue> values;
    bool all_read = false;
    live::Scanner scanner(entries, BridgeFor(options.connection));
    if (ended) {
        for (const auto& entry : entries) {
            values.push_back({entry, std::nullopt, {}});
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
    Output output;
    output.Write(live::ScanText(options.format, values));
    ReportFailures(scanner);
    if (ended) {
        ReportEnd(options.connection, *ended);
    }
    return output.Finish(all_written && all_read ? kAllDone : kSomeNotDone);
}

int Run(int argc, char** argv) {
    console::UseBinaryStandardStreams();
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write
#endif
    live::Options options;
    if (const auto status = live::ParseCommandLine(console::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    // Every item is read before anything is sent: a typo stops the run, not half of it.
    std::vector<conversion::MapEntry> entries;
    std::vector<conversion::Assignment> assignments;
    std::vector<modbus::WriteRequest> writes;
    if (options.command == live::Command::Write) {
        for (const auto& text : options.items) {
            auto assignment = conversion::ReadAssignment(text, options.table, options.numbers);
            if (auto* message = std::get_if<std::string>(&assignment)) {
                return UsageError(*message);
            }
            assignments.push_back(std::get<conversion::Assignment>(assignment));
        }
        auto planned = conversion::PlanWrites(assignments);
        if (auto* message = std::get_if<std::string>(&planned)) {
            return UsageError(*message);
        }
        writes = std::get<std::vector<modbus::WriteRequest>>(std::move(planned));
    } else {
        for (const auto& item : options.items) {
            auto read = conversion::ReadItem(item, options.table, options.numbers);
            if (!read.ok()) {
                return UsageError(read.message);
            }
            if (!read.note.empty()) {
                ToStderr("zentriq-poll: " + conversion::DisplayText(item) + ": " + read.note +
                         "\n");
            }
            entries.insert(entries.end(), read.entries.begin(), read.entries.end());
        }
    }
    auto link = live::MakeLink(options.connection,
                               [](std::string_view line) { ToStderr(std::string(line) + "\n"); });
    if (auto failure = link->Open(); !failure.empty()) {
        return Failure(failure);
    }
    switch (options.command) {
        case live::Command::Read: {
            const int status = Read(options, entries, *link);
            if (live::Interrupted()) {
                // What was read is written; end the way an interrupted program does.
                std::signal(SIGINT, SIG_DFL);
                std::raise(SIGINT);
            }
            return status;
        }
        case live::Command::Watch:
            return Watch(options, entries, *link);
        case live::Command::Write:
            return Write(options, assignments, writes, *link);
    }
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {  // out of memory: say so rather than abort
        ToStderr(std::string("zentriq-poll: ") + e.what() + "\n");
        return kUsageError;
    }
}
