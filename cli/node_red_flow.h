// A flow for Node-RED's Modbus nodes (node-red-contrib-modbus), to import as it is: one client for
// the connection, one read node for each run of addresses the controller accepts (as zentriq-poll
// reads them: never across an address without a device, at most 125 registers or 2000 bits), and
// after each a function node that sends one message per tag, msg.topic its name and msg.payload
// its value (32-bit values joined low word first, i16 and i32 signed, bits true or false).
#pragma once

#include <optional>
#include <span>
#include <string>

#include "cli/config_tags.h"
#include "transport/connection.h"

namespace cli {

// Why the Modbus nodes cannot reach the controller over `connection`, none when they can: they
// have no ASCII over TCP.
std::optional<std::string> NodeRedRefuses(const transport::Connection& connection);

// The flow; `connection` is one NodeRedRefuses() takes. Every read node polls at the interval
// `settings` gives, or else every second, or as seldom as the reads take on the line, rounded up
// to a whole second.
std::string NodeRedFlow(const transport::Connection& connection, std::span<const ConfigTag> tags,
                        const ConfigSettings& settings);

}  // namespace cli
