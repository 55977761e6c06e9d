// A Home Assistant config for its Modbus integration (the modbus: section of configuration.yaml):
// one hub for the connection, sensors for registers (swap: word for a 32-bit value, which the
// controller keeps low word first), binary sensors for bits, switches for the coils a tag list
// asks to switch, each reading its coil back (verify), so that it shows the controller's state
// rather than what it last wrote; each entity with its device_address, its zero-based address and
// how often Home Assistant polls it.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/config_tags.h"
#include "transport/connection.h"

namespace cli {

// Why Home Assistant cannot reach the controller over `connection`, none when it can: it has no
// ASCII over TCP.
std::optional<std::string> HomeAssistantRefuses(const transport::Connection& connection);

// The tags Home Assistant loads: it drops, with a warning in its log, every entity after the first
// at a table and address (whatever their types: D200 as i16 and D200:f32 read the same register).
// Each dropped tag is said through `refuse`, naming the first tag and its line, and left out.
std::vector<ConfigTag> HomeAssistantLoads(std::vector<ConfigTag> tags, const RefuseTag& refuse);

// The config; `connection` is one HomeAssistantRefuses() takes. Home Assistant reads each entity
// with a request of its own every scan_interval: unless `settings` gives it, the time those
// requests take on the line (at the reply delay a plan assumes), rounded up to a whole second and
// never under the 5 s below which Home Assistant warns of its own stability.
std::string HomeAssistantConfig(const transport::Connection& connection,
                                std::span<const ConfigTag> tags, const ConfigSettings& settings);

}  // namespace cli
