// What zentriq-lookup does once its command line is read: items on the command line looked up and
// printed together, a tag list streamed through the map (--batch), an engine's config written for
// one (--format node-red, telegraf, home-assistant), captured Modbus frames read as devices
// (--frame, --frames).
#pragma once

#include "cli/options.h"

namespace cli {

// Runs the command `options` name, once: the exit status.
int RunCommand(const Options& options);

}  // namespace cli
