// The command line as every program of the project reads it: options only with - and -- (a port
// or a file name may begin with /, also on Windows), the examples after the options, --version,
// and one way to end a run that asked for help or said something wrong.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/program.h"

namespace console {

// Sets up `app` as every program's: `examples` under the options, `version` ("zentriq-poll 1.0.0")
// for --version.
void SetUpCommandLine(CLI::App& app, const std::string& examples, const std::string& version);

// Parses `arguments` (UTF-8, the program's name first): none when the run goes on, otherwise the
// exit status of --help or --version (help written), or of a usage error (said on `messages`).
std::optional<int> ParseCommandLine(CLI::App& app, const std::vector<std::string>& arguments,
                                    const Messages& messages);

}  // namespace console
