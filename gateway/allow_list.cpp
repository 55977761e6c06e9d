#include "gateway/allow_list.h"

#include <array>

namespace gateway {

namespace {

namespace ip = boost::asio::ip;

// The address as 16 bytes (IPv4 in its IPv6-mapped form), so that one comparison serves both.
std::array<unsigned char, 16> Bytes(const ip::address& address) {
    if (address.is_v4()) {
        return ip::make_address_v6(ip::v4_mapped, address.to_v4()).to_bytes();
    }
    return address.to_v6().to_bytes();
}

bool SamePrefix(const ip::address& a, const ip::address& b, unsigned bits) {
    const auto x = Bytes(a);
    const auto y = Bytes(b);
    for (std::size_t i = 0; i < x.size() && bits > 0; ++i) {
        const unsigned take = bits >= 8 ? 8 : bits;
        const auto mask = static_cast<unsigned char>(0xFF00U >> take);
        if ((x[i] & mask) != (y[i] & mask)) {
            return false;
        }
        bits -= take;
    }
    return true;
}

// Four decimal groups: what every system reads the same way (Windows also takes "10.0.0" and
// other old shorthands, which would let one list mean other hosts there).
bool DottedQuad(const std::string& text) {
    std::size_t groups = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == '.') {
            if (digits == 0) {
                return false;
            }
            ++groups;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
        } else {
            return false;
        }
    }
    return groups == 3 && digits > 0;
}

text::Failure NotANetwork(const std::string& item) {
    return text::Failure{"--allow " + item +
                         ": give an address or a network as address/prefix, such as "
                         "192.168.10.0/24 or fd00::/8"};
}

}  // namespace

text::Result<std::vector<AllowedNetwork>> ReadAllowList(const std::string& text) {
    std::vector<AllowedNetwork> networks;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto comma = std::min(text.find(',', from), text.size());
        const std::string item = text.substr(from, comma - from);
        from = comma + 1;
        const auto slash = item.find('/');
        boost::system::error_code error;
        const std::string written = item.substr(0, slash);
        const auto address = ip::make_address(written, error);
        if (error || (address.is_v4() && !DottedQuad(written))) {
            return NotANetwork(item);
        }
        // Checked as IPv6-mapped bytes: an IPv4 prefix counts from bit 96.
        const unsigned width = address.is_v4() ? 32 : 128;
        unsigned prefix = width;
        if (slash != std::string::npos) {
            const std::string digits = item.substr(slash + 1);
            if (digits.empty() || digits.size() > 3 ||
                digits.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(digits) > width) {
                return NotANetwork(item);
            }
            prefix = static_cast<unsigned>(std::stoul(digits));
        }
        networks.push_back({address, prefix + (128 - width)});
    }
    return networks;
}

bool Allowed(const std::vector<AllowedNetwork>& networks, const ip::address& client) {
    if (networks.empty()) {
        return true;
    }
    const ip::address seen = client.is_v6() && client.to_v6().is_v4_mapped()
                                 ? ip::address(ip::make_address_v4(ip::v4_mapped, client.to_v6()))
                                 : client;
    for (const auto& network : networks) {
        if (SamePrefix(network.address, seen, network.prefix)) {
            return true;
        }
    }
    return false;
}

}  // namespace gateway
