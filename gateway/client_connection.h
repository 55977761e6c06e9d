// One Modbus TCP client of the gateway: its socket, the requests it sends read through the
// library's TCP frame finder, the answers written back in the order they come, and the limits that
// keep a bad client from hurting the others. A header no Modbus TCP frame has closes the
// connection: past it the stream cannot be followed. A client that sends many requests without
// reading its answers is not read from until it catches up, so it holds at most a few requests
// and answers. One that stays silent in the middle of a request, or leaves its answers unread,
// for the idle timeout is closed.
//
// Runs on the gateway's one Boost.Asio thread; nothing here throws past its handlers.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gateway/request_queue.h"
#include "modbus/wire.h"

namespace gateway {

// What a connection tells the gateway.
class ConnectionEvents {
  public:
    virtual ~ConnectionEvents() = default;
    // A request came (a sound MBAP frame: transaction, unit and PDU).
    virtual void Requested(ClientId client, modbus::WireFrame request) = 0;
    // The connection is closed, for `reason`; it sends nothing more.
    virtual void Closed(ClientId client, const std::string& peer, const std::string& reason) = 0;
};

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
  public:
    // `idle_timeout` zero: never closed for silence.
    ClientConnection(boost::asio::ip::tcp::socket socket, ClientId id, std::string peer,
                     ConnectionEvents& events, std::chrono::steady_clock::duration idle_timeout);

    // Starts reading requests and watching for silence.
    void Start();
    // Writes the answer to the oldest request not yet answered.
    void Answer(std::vector<std::uint8_t> frame);
    // Closes now: what is unsent is dropped. Said to the events once, whoever closes.
    void Close(const std::string& reason);
    // Closes once every request read has been answered and the answers are written.
    void CloseWhenAnswered(const std::string& reason);

    ClientId id() const noexcept { return id_; }
    const std::string& peer() const noexcept { return peer_; }
    bool closed() const noexcept { return closed_; }
    std::uint64_t answered() const noexcept { return answered_; }
    std::chrono::steady_clock::time_point connected_at() const noexcept { return connected_at_; }

  private:
    void Read();
    void Write();
    void WatchSilence();
    bool MayRead() const noexcept;
    void Touched() noexcept { last_traffic_ = std::chrono::steady_clock::now(); }

    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer silence_timer_;
    const ClientId id_;
    const std::string peer_;
    ConnectionEvents& events_;
    const std::chrono::steady_clock::duration idle_timeout_;
    modbus::TcpFrameFinder finder_;
    std::array<std::uint8_t, 512> buffer_{};
    std::deque<std::vector<std::uint8_t>> unsent_;
    std::size_t unanswered_ = 0;  // requests read and not yet answered
    std::uint64_t answered_ = 0;
    const std::chrono::steady_clock::time_point connected_at_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_traffic_;
    bool reading_ = false;
    bool writing_ = false;
    bool closed_ = false;
    std::string close_when_answered_;  // the reason, once asked
};

}  // namespace gateway
