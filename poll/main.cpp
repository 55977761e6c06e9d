// zentriq-poll: the controller's devices by name, read, watched and written over a serial line or
// Modbus TCP. main reads the command line and the items into map entries before anything is sent,
// opens the line, and runs the one command asked for (commands.h).
#include <csignal>
#include <string>
#include <vector>

#include "console/platform.h"
#include "console/program.h"
#include "conversion/poll_items.h"
#include "poll/commands.h"
#include "poll/options.h"
#include "transport/stop_signal.h"

namespace {

const console::Messages kMessages("zentriq-poll");

int Run(int argc, char** argv) {
    console::StartConsoleProgram();
    poll::Options options;
    if (const auto status = poll::ParseCommandLine(console::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    // Every item is read before anything is sent: a typo stops the run, not half of it.
    std::vector<conversion::MapEntry> entries;
    std::vector<conversion::Assignment> assignments;
    std::vector<poll::PlannedWrite> writes;
    if (options.command == poll::Command::Write) {
        for (const auto& text : options.items) {
            auto assignment = conversion::ReadAssignment(text, options.table, options.numbers);
            if (auto* failure = std::get_if<text::Failure>(&assignment)) {
                return kMessages.UsageError(failure->message);
            }
            assignments.push_back(std::get<conversion::Assignment>(assignment));
        }
        auto planned = poll::PlanWrites(assignments);
        if (auto* failure = std::get_if<text::Failure>(&planned)) {
            return kMessages.UsageError(failure->message);
        }
        writes = std::get<std::vector<poll::PlannedWrite>>(std::move(planned));
    } else {
        for (const auto& item : options.items) {
            auto read = conversion::ReadItem(item, options.table, options.numbers);
            if (!read.ok()) {
                return kMessages.UsageError(read.message);
            }
            if (!read.note.empty()) {
                kMessages.Say(conversion::DisplayText(item) + ": " + read.note);
            }
            entries.insert(entries.end(), read.entries.begin(), read.entries.end());
        }
    }
    transport::StopSignal stop;
    auto link = transport::MakeLink(stop, options.connection, console::Messages::Line);
    if (auto failure = link->Open()) {
        return kMessages.Failure(failure->message);
    }
    switch (options.command) {
        case poll::Command::Read: {
            const int status = poll::Read(options, entries, *link);
            if (stop.requested()) {
                // What was read is written; end the way an interrupted program does.
                console::EndAsInterrupted(SIGINT);
            }
            return status;
        }
        case poll::Command::Watch:
            return poll::Watch(options, entries, *link, [&stop] { return stop.requested(); });
        case poll::Command::Write:
            return poll::Write(options, assignments, writes, *link);
    }
    return console::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    return console::RunGuarded(kMessages, [&] { return Run(argc, argv); });
}
