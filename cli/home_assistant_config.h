// A Home Assistant config for its Modbus integration (the modbus: section of configuration.yaml):
// one hub for the connection, sensors for registers (swap: word for a 32-bit value, which the
// controller keeps low word first), binary sensors for bits, switches for the coils a tag list
// asks to switch; each entity with its device_address and its zero-based address.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "cli/config_tags.h"
#include "transport/connection.h"

namespace cli {

// Why Home Assistant cannot reach the controller over `connection`, none when it can: it has no
// ASCII over TCP.
std::optional<std::string> HomeAssistantRefuses(const transport::Connection& connection);

// The config; `connection` is one HomeAssistantRefuses() takes.
std::string HomeAssistantConfig(const transport::Connection& connection,
                                std::span<const ConfigTag> tags);

}  // namespace cli
