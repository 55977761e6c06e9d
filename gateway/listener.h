// Where the gateway listens and whom it lets in: the listening socket on --listen's address, each
// client accepted in turn and admitted or refused (--allow, --max-clients), and closing it when
// the gateway stops. What an admitted client says is the connection manager's.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gateway/allow_list.h"
#include "text/failure.h"

namespace gateway {

// A client as every line of the log names it: "127.0.0.1:50312", "[::1]:50312".
std::string EndpointText(const boost::asio::ip::tcp::endpoint& endpoint);

class Listener {
  public:
    // Admits a client (its socket and its name), or says why not: empty, or "not in --allow".
    using Admit = std::function<std::string(boost::asio::ip::tcp::socket&, const std::string&)>;
    using LogLine = std::function<void(const std::string&)>;

    // `option` names the address in what Open says: "--listen", "--web".
    Listener(boost::asio::io_context& io, std::string option, std::vector<AllowedNetwork> allow,
             LogLine log);

    // Listens on `host` (an address or a name of this machine) at `port`: none, or the one line
    // that says why it cannot, with what to do about it.
    std::optional<text::Failure> Open(const std::string& host, std::uint16_t port);
    // Accepts clients until Close, each given to `admit`; a refusal is logged as "PEER refused:
    // WHY" through `refused`.
    void Accept(Admit admit, LogLine refused);
    void Close();

    std::string where() const;
    // The port bound, once open: the one asked, or the one given for port 0.
    std::uint16_t port() const;

  private:
    std::optional<boost::asio::ip::tcp::endpoint> Endpoint(const std::string& host,
                                                           std::uint16_t port);
    void AcceptNext();
    void Take(boost::asio::ip::tcp::socket socket);

    boost::asio::io_context& io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_timer_;
    std::string option_;
    std::vector<AllowedNetwork> allow_;
    LogLine log_;
    Admit admit_;
    LogLine refused_;
    bool closed_ = false;
};

}  // namespace gateway
