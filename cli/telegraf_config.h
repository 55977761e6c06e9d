// A Telegraf config for its Modbus input (inputs.modbus, in the "request" configuration style):
// the connection, how often Telegraf polls, and one request definition per table, each field at
// its zero-based decimal address with its type. Telegraf reads each run of consecutive fields of a
// definition in one transaction, so the fields follow the scan plan (scan::PlanReads for
// the link): the addresses a planned request reads across are filled with omitted fields of their
// width, and Telegraf sends the plan's requests, no more. All registers stand in one definition of
// byte order CDAB: the controller keeps a 32-bit value low word first, and a 16-bit value reads
// the same in CDAB as in ABCD.
#pragma once

#include <span>
#include <string>

#include "cli/config_tags.h"
#include "transport/connection.h"

namespace cli {

// The config. Its interval, unless `settings` gives it, is the time the plan's requests take on
// the line (at the reply delay a plan assumes), rounded up to a whole second. A tag's unit goes in
// a comment after its field: Telegraf keeps no unit of a field, and a tag per unit would split the
// requests.
std::string TelegrafConfig(const transport::Connection& connection, std::span<const ConfigTag> tags,
                           const ConfigSettings& settings);

}  // namespace cli
