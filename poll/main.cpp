// zentriq-poll: the controller's devices by name, read, watched and written over a serial line or
// Modbus TCP. main reads the command line and the items into map entries before anything is sent,
// opens the line, and runs the one command asked for (commands.h).
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "console/platform.h"
#include "console/program.h"
#include "console/stop_signal.h"
#include "console/tag_list_input.h"
#include "poll/commands.h"
#include "poll/options.h"
#include "poll/plan_report.h"
#include "scan/asked_values.h"

namespace {

const console::Messages kMessages("zentriq-poll");

int Run(int argc, char** argv) {
    console::StartConsoleProgram();
    poll::Options options;
    if (const auto status = poll::ParseCommandLine(console::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    // Every item is read before anything is sent: a typo stops the run, not half of it.
    std::vector<scan::AskedValue> asked;
    scan::AskedWrites writes;
    std::optional<poll::TagList> list;
    if (options.batch) {
        console::InputFile input;
        if (!input.Open(*options.batch)) {
            return kMessages.Failure(input.Problem().value_or("cannot read " + input.name));
        }
        auto read =
            poll::ReadTagList(input.Input(), options.columns, options.table, options.numbers);
        if (const auto problem = input.Problem()) {
            return kMessages.Failure(*problem);
        }
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            return kMessages.UsageError(*options.batch + ": " + failure->message);
        }
        list = std::get<poll::TagList>(std::move(read));
    } else if (options.command == poll::Command::Write) {
        auto read = scan::ReadAskedWrites(options.items, options.table, options.numbers,
                                          options.write_codes);
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            return kMessages.UsageError(failure->message);
        }
        writes = std::get<scan::AskedWrites>(std::move(read));
    } else {
        auto read = scan::ReadAskedItems(options.items, options.table, options.numbers,
                                         [](const std::string& note) { kMessages.Say(note); });
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            return kMessages.UsageError(failure->message);
        }
        asked = std::get<std::vector<scan::AskedValue>>(std::move(read));
    }
    if (options.plan) {
        return poll::ShowPlan(options, list ? list->asked : asked);  // the line is not opened
    }
    console::StopSignal stop;
    auto link = transport::MakeLink(stop.context(), stop.flag(), options.connection,
                                    console::Messages::Line);
    if (auto failure = link->Open()) {
        return kMessages.Failure(failure->message);
    }
    console::Output output;
    const poll::Streams streams{output, kMessages};
    if (list) {
        const auto stopped = [&stop] { return stop.requested(); };
        const int status = options.command == poll::Command::Watch
                               ? poll::WatchBatch(
                                     options, *list, *link, stopped,
                                     [&stop] { return stop.TakeReportRequest(); }, streams)
                               : poll::ReadBatch(options, *list, *link, streams);
        if (options.command == poll::Command::Read && stop.requested()) {
            console::EndAsInterrupted(SIGINT);
        }
        return status;
    }
    switch (options.command) {
        case poll::Command::Read: {
            const int status = poll::Read(options, asked, *link, streams);
            if (stop.requested()) {
                // What was read is written; end the way an interrupted program does.
                console::EndAsInterrupted(SIGINT);
            }
            return status;
        }
        case poll::Command::Watch:
            return poll::Watch(
                options, asked, *link, [&stop] { return stop.requested(); },
                [&stop] { return stop.TakeReportRequest(); }, streams);
        case poll::Command::Write:
            return poll::Write(options, writes.assignments, writes.requests, writes.written, *link,
                               streams);
    }
    return console::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    return console::RunGuarded(kMessages, [&] { return Run(argc, argv); });
}
