// A Telegraf config for its Modbus input (inputs.modbus, in the "request" configuration style):
// the connection, and one request per table and word order, each field at its zero-based decimal
// address with its type. The controller keeps a 32-bit value low word first, which Telegraf calls
// byte order CDAB; 16-bit values and bits go in requests of their own, byte order ABCD.
#pragma once

#include <span>
#include <string>

#include "cli/config_tags.h"
#include "transport/connection.h"

namespace cli {

std::string TelegrafConfig(const transport::Connection& connection,
                           std::span<const ConfigTag> tags);

}  // namespace cli
