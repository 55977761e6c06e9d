// zentriq-gateway: Modbus TCP clients reach the controller on its serial line. main reads the
// command line, opens the port and the listening socket, and serves until it is asked to stop.
#include <csignal>
#include <string>
#include <vector>

#include "console/platform.h"
#include "console/program.h"
#include "console/stop_signal.h"
#include "gateway/options.h"
#include "gateway/server.h"

namespace {

const console::Messages kMessages("zentriq-gateway");

int Run(int argc, char** argv) {
    console::StartConsoleProgram();
    gateway::Settings settings;
    if (const auto status =
            gateway::ParseCommandLine(console::Utf8Arguments(argc, argv), settings)) {
        return *status;
    }
    {
        console::StopSignal stop;
        gateway::Server server(std::move(settings), kMessages, stop);
        stop.OnSignal([&server] { server.Stop(); });
        if (auto failure = server.Start()) {
            return kMessages.Failure(failure->message);
        }
        server.Run();
    }
    // Stopping already: another SIGTERM or Ctrl-C (a service manager or a user asking again)
    // must not turn the exit as asked into a death by signal while the program winds down.
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    // A service stopped as asked: not an interrupted run.
    return console::kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    return console::RunGuarded(kMessages, [&] { return Run(argc, argv); });
}
