// The command line of zentriq-gateway, parsed once into its settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gateway/server.h"

namespace gateway {

// Parses `arguments` (the program's name first) into `settings`. Gives an exit status when the run
// ends here: 0 after --help or --version, 2 after a usage error, said on standard error.
std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Settings& settings);

}  // namespace gateway
