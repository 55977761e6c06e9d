#include "web/request_checks.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cctype>
#include <charconv>

namespace web {

namespace {

struct HostAndPort {
    std::string host;  // lower case, an IPv6 address without its brackets
    std::uint16_t port = 80;
    bool ok = false;
};

HostAndPort Split(std::string_view text) {
    HostAndPort split;
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return split;
        }
        host = text.substr(1, close - 1);
        const auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return split;
            }
            port = rest.substr(1);
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return split;  // an IPv6 address must come in brackets
        }
    }
    if (host.empty()) {
        return split;
    }
    if (!port.empty() || text.find(':') != std::string_view::npos) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 ||
            value > 65535) {
            return split;
        }
        split.port = static_cast<std::uint16_t>(value);
    }
    split.host.resize(host.size());
    std::transform(host.begin(), host.end(), split.host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    split.ok = true;
    return split;
}

bool IsAddress(const std::string& host, boost::asio::ip::address* address = nullptr) {
    boost::system::error_code error;
    const auto parsed = boost::asio::ip::make_address(host, error);
    if (!error && address != nullptr) {
        *address = parsed;
    }
    return !error;
}

}  // namespace

bool HostAllowed(const ConsoleAddress& console, std::string_view host) {
    const auto asked = Split(host);
    if (!asked.ok) {
        return false;
    }
    // A name given is the console's on any port: behind a reverse proxy the browser names the
    // proxy's port, or none at all for HTTPS's own. Rebinding needs a name, not a port.
    for (const auto& name : console.names) {
        const auto given = Split(name);
        if (given.ok && given.host == asked.host) {
            return true;
        }
    }
    if (asked.port != console.port) {
        return false;
    }
    boost::asio::ip::address listened;
    if (!IsAddress(console.host, &listened)) {
        // Listening on a name of this machine: that name, as given.
        return Split(console.host).host == asked.host;
    }
    boost::asio::ip::address named;
    if (IsAddress(asked.host, &named)) {
        return listened.is_unspecified() || named == listened;
    }
    return asked.host == "localhost" && listened.is_loopback();
}

bool OriginAllowed(std::string_view origin, std::string_view host) {
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (origin.substr(0, scheme.size()) == scheme) {
            std::string lower(host);
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            std::string rest(origin.substr(scheme.size()));
            std::transform(rest.begin(), rest.end(), rest.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return !lower.empty() && rest == lower;
        }
    }
    return false;
}

}  // namespace web
