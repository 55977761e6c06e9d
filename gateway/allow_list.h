// Who may connect (--allow 192.168.10.0/24,10.0.0.5,::1/128): networks written as an address and
// a prefix length, a bare address meaning that one host. An IPv4 client reaching an IPv6 socket
// (::ffff:192.168.10.7) is checked as the IPv4 address it is. An empty list lets everyone in.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/address.hpp>
#include <string>
#include <vector>

#include "text/failure.h"

namespace gateway {

struct AllowedNetwork {
    boost::asio::ip::address address;  // its first address
    unsigned prefix = 0;               // bits that must match
};

// The networks of `text`, comma-separated, or why one is not a network ("--allow 10.0.0.0/33:
// ...").
text::Result<std::vector<AllowedNetwork>> ReadAllowList(const std::string& text);

bool Allowed(const std::vector<AllowedNetwork>& networks, const boost::asio::ip::address& client);

}  // namespace gateway
