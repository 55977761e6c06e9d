// zentriq-lookup: the controller's Modbus address map from the command line. Items on the command
// line are looked up and printed together; --batch streams a tag list through the map; --frame
// and --frames read captured Modbus frames as devices. main parses the command line into a mode
// (options.h) and runs its command (commands.h) once.
#include "cli/commands.h"
#include "cli/options.h"
#include "console/platform.h"
#include "console/program.h"

namespace {

const console::Messages kMessages("zentriq-lookup");

int Run(int argc, char** argv) {
    console::StartConsoleProgram();
    console::CatchInterrupts();
    cli::Options options;
    if (const auto status = cli::ParseCommandLine(console::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    const int status = cli::RunCommand(options);
    if (const int signal_number = console::InterruptSignal()) {
        // What was read is written; end the way an interrupted program does, so the shell knows.
        console::EndAsInterrupted(signal_number);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    return console::RunGuarded(kMessages, [&] { return Run(argc, argv); });
}
