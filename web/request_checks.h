// Who may use the console, read from each request's headers. A page on another site must not reach
// it through the user's browser: a name the console does not know in the Host header is refused, so
// that a name an attacker's DNS points at this address (DNS rebinding) is not served; and a
// WebSocket is opened only for a page of the console's own origin. Pure: nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// What the console answers to: where it listens and the names given with --web-host.
struct ConsoleAddress {
    std::string host;  // as listened on: "127.0.0.1", "::1", "0.0.0.0", "::"
    std::uint16_t port = 0;
    std::vector<std::string> names;  // --web-host, each a name with or without a port
};

// Whether `host` (a Host header) names the console: a name given with --web-host (on any port),
// or the console's port and either the address it listens on, "localhost" when that is a loopback
// address, or any address literal when it listens on every address. An address literal is never a
// rebound name.
bool HostAllowed(const ConsoleAddress& console, std::string_view host);

// Whether `origin` (an Origin header) is the console's own page as reached through `host` (the
// Host header already allowed): "http://" or "https://" and the same host. A request without one
// is no browser's page and is refused too.
bool OriginAllowed(std::string_view origin, std::string_view host);

}  // namespace web
