#include "gateway/connection_manager.h"

namespace gateway {

std::string ClientsText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " client" : " clients");
}

ConnectionManager::ConnectionManager(std::size_t max_clients,
                                     std::chrono::steady_clock::duration idle_timeout)
    : max_clients_(max_clients), idle_timeout_(idle_timeout) {}

std::string ConnectionManager::Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer,
                                     ConnectionEvents& events) {
    if (clients_.size() >= max_clients_) {
        return ClientsText(clients_.size()) + " already (--max-clients)";
    }
    const ClientId id = next_++;
    auto client =
        std::make_shared<ClientConnection>(std::move(socket), id, peer, events, idle_timeout_);
    clients_.emplace(id, client);
    client->Start();
    return {};
}

ClientConnection* ConnectionManager::Find(ClientId id) const {
    const auto found = clients_.find(id);
    return found == clients_.end() ? nullptr : found->second.get();
}

bool ConnectionManager::Remove(ClientId id) {
    return clients_.erase(id) > 0;
}

void ConnectionManager::CloseAllWhenAnswered(const std::string& reason) {
    // A copy: a client that has nothing left to write closes at once, and leaves the map.
    for (const auto& [id, client] : std::map(clients_)) {
        client->CloseWhenAnswered(reason);
    }
}

void ConnectionManager::CloseAll(const std::string& reason) {
    for (const auto& [id, client] : std::map(clients_)) {
        client->Close(reason);
    }
}

}  // namespace gateway
