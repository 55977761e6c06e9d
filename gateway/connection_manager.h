// The clients connected now: each admitted up to --max-clients, found by its number to answer,
// forgotten when it closes, and all closed when the gateway stops.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "gateway/client_connection.h"

namespace gateway {

// "1 client", "3 clients".
std::string ClientsText(std::size_t count);

class ConnectionManager {
  public:
    // `idle_timeout` zero: never closed for silence.
    ConnectionManager(std::size_t max_clients, std::chrono::steady_clock::duration idle_timeout);

    // Admits the client on `socket`, its events told to `events`, and starts reading it: empty,
    // or why not ("32 clients already (--max-clients)"), the socket then left as it was.
    std::string Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer,
                      ConnectionEvents& events);
    // The client of `id`; none once it has closed.
    ClientConnection* Find(ClientId id) const;
    // Forgets a client that closed: whether it was here.
    bool Remove(ClientId id);
    // Closes every client once its requests are answered, or now.
    void CloseAllWhenAnswered(const std::string& reason);
    void CloseAll(const std::string& reason);

    std::size_t size() const noexcept { return clients_.size(); }
    const std::map<ClientId, std::shared_ptr<ClientConnection>>& clients() const noexcept {
        return clients_;
    }

  private:
    const std::size_t max_clients_;
    const std::chrono::steady_clock::duration idle_timeout_;
    std::map<ClientId, std::shared_ptr<ClientConnection>> clients_;
    ClientId next_ = 1;
};

}  // namespace gateway
