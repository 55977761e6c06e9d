#include "gateway/listener.h"

#include "transport/error_text.h"

namespace gateway {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

std::string ListenFailure(const std::string& option, const tcp::endpoint& where,
                          const boost::system::error_code& error) {
    // The usual causes in the same words on every system (Wine's Winsock has no text for some);
    // the system's own words for any other.
    const std::string reason = error == asio::error::access_denied    ? "permission denied"
                               : error == asio::error::address_in_use ? "the address is in use"
                                                                      : transport::ErrorText(error);
    std::string text = "cannot listen on " + EndpointText(where) + ": " + reason;
    const std::string other_port = EndpointText(tcp::endpoint(where.address(), 1502));
    if (error == asio::error::access_denied) {
        text +=
            "; ports below 1024 need the right to bind them: run it with that capability "
            "(setcap cap_net_bind_service=+ep /usr/bin/zentriq-gateway), from its systemd unit, "
            "or on a port from 1024 up (" +
            option + " " + other_port + ")";
    } else if (error == asio::error::address_in_use) {
        text += "; another program listens there: stop it, or choose another port (" + option +
                " 127.0.0.1:" + std::to_string(where.port() == 1502 ? 1503 : 1502) + ")";
    } else if (error == boost::system::errc::address_not_available) {
        text +=
            "; give an address of this machine: 127.0.0.1 for this machine only, 0.0.0.0 "
            "for every network";
    }
    return text;
}

}  // namespace

std::string EndpointText(const tcp::endpoint& endpoint) {
    auto address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    const std::string host =
        address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

Listener::Listener(asio::io_context& io, std::string option, std::vector<AllowedNetwork> allow,
                   LogLine log)
    : io_(io),
      acceptor_(io),
      retry_timer_(io),
      option_(std::move(option)),
      allow_(std::move(allow)),
      log_(std::move(log)) {}

std::optional<tcp::endpoint> Listener::Endpoint(const std::string& host, std::uint16_t port) {
    boost::system::error_code error;
    const auto address = asio::ip::make_address(host, error);
    if (!error) {
        return tcp::endpoint(address, port);
    }
    // A name, such as localhost: its first address.
    tcp::resolver resolver(io_);
    const auto found = resolver.resolve(host, std::to_string(port), tcp::resolver::passive, error);
    if (error || found.empty()) {
        return std::nullopt;
    }
    return found.begin()->endpoint();
}

std::optional<text::Failure> Listener::Open(const std::string& host, std::uint16_t port) {
    const auto endpoint = Endpoint(host, port);
    if (!endpoint) {
        return text::Failure{option_ + " " + host +
                             ": give an address or a name of this machine, such as 127.0.0.1, "
                             "localhost or 0.0.0.0"};
    }
    boost::system::error_code error;
    acceptor_.open(endpoint->protocol(), error);
#ifndef _WIN32
    // A restarted gateway binds again at once, past the last run's closing connections. Not on
    // Windows, where the same option would let another program take a port in use.
    if (!error) {
        acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
    }
#endif
    if (!error) {
        acceptor_.bind(*endpoint, error);
    }
    if (!error) {
        acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        return text::Failure{ListenFailure(option_, *endpoint, error)};
    }
    return std::nullopt;
}

std::string Listener::where() const {
    boost::system::error_code error;
    const auto endpoint = acceptor_.local_endpoint(error);
    return error ? std::string() : EndpointText(endpoint);
}

std::uint16_t Listener::port() const {
    boost::system::error_code error;
    const auto endpoint = acceptor_.local_endpoint(error);
    return error ? 0 : endpoint.port();
}

void Listener::Accept(Admit admit, LogLine refused) {
    admit_ = std::move(admit);
    refused_ = std::move(refused);
    AcceptNext();
}

void Listener::AcceptNext() {
    acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
        if (closed_ || !acceptor_.is_open()) {
            return;
        }
        if (error) {
            // Out of file descriptors, most likely: try again shortly rather than spin.
            log_("cannot accept a client: " + transport::ErrorText(error));
            retry_timer_.expires_after(std::chrono::milliseconds(100));
            retry_timer_.async_wait([this](const boost::system::error_code& e) {
                if (!e) {
                    AcceptNext();
                }
            });
            return;
        }
        Take(std::move(socket));
        AcceptNext();
    });
}

void Listener::Take(tcp::socket socket) {
    boost::system::error_code error;
    const auto remote = socket.remote_endpoint(error);
    if (error) {
        return;  // gone already
    }
    const std::string peer = EndpointText(remote);
    std::string why = Allowed(allow_, remote.address()) ? admit_(socket, peer) : "not in --allow";
    if (!why.empty()) {
        refused_(peer + " refused: " + why);
        socket.close(error);
    }
}

void Listener::Close() {
    closed_ = true;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    retry_timer_.cancel();
}

}  // namespace gateway
