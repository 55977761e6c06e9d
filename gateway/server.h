// The gateway: Modbus TCP clients in, the controller's serial line out, one request on the line at
// a time. Everything runs on one thread and one Boost.Asio context, the link's: while the line
// waits for a reply, the same loop accepts clients, reads their requests into the queue and
// writes answers out, so no client waits for another's bytes and nothing needs a lock. The line is
// used only from the loop's top, never from inside a handler, so one exchange never starts within
// another.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/program.h"
#include "gateway/allow_list.h"
#include "gateway/backoff.h"
#include "gateway/client_connection.h"
#include "gateway/counters.h"
#include "gateway/request_queue.h"
#include "gateway/request_route.h"
#include "transport/connection.h"
#include "transport/link.h"
#include "transport/stop_signal.h"

namespace gateway {

// What the gateway says on standard error beyond its start, the line's and the stations' failures
// and returns, and the counters: nothing more, each client's connection too, or each request too.
enum class LogLevel { Quiet, Connections, Requests };

struct Settings {
    transport::Connection line;
    std::string listen_host = "127.0.0.1";
    std::uint16_t listen_port = 502;
    RouteRules rules = EveryStation(1);
    std::vector<AllowedNetwork> allow;  // empty: every client
    std::size_t max_clients = 32;
    Clock::duration idle_timeout = std::chrono::seconds(60);
    Clock::duration stats_interval{};  // zero: only on request and at exit
    // The longest a station that stopped answering waits between two probes.
    Clock::duration retry_dead_after = std::chrono::seconds(1);
    LogLevel log_level = LogLevel::Connections;
};

class Server final : public ConnectionEvents {
  public:
    Server(Settings settings, const console::Messages& messages);
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the serial port and listens: none, or the one line that says why it cannot.
    std::optional<text::Failure> Start();
    // Serves until SIGTERM or Ctrl-C: then it stops accepting, finishes the exchange on the line,
    // answers the requests still waiting with 0A and prints the counters. A second signal ends the
    // exchange under way too.
    void Run();

    void Requested(ClientId client, modbus::WireFrame request) override;
    void Closed(ClientId client, const std::string& peer, const std::string& reason) override;

  private:
    // Where --listen says, a name resolved to its first address.
    std::optional<boost::asio::ip::tcp::endpoint> ListenEndpoint();
    void Accept();
    void Admit(boost::asio::ip::tcp::socket socket);
    void Serve(const PendingRequest& request);
    // The line's answer to `request` (a PDU), or the exception the gateway answers for it.
    std::vector<std::uint8_t> Exchange(const PendingRequest& request, std::uint8_t station,
                                       std::string& result);
    void Answer(const PendingRequest& request, const std::vector<std::uint8_t>& pdu);
    void Stop();
    void PrintCountersEvery();
    void Log(const std::string& line) const;
    // A client connected, closed or was refused: said from --log-level connections on.
    void LogConnection(const std::string& line) const;

    Settings settings_;
    const console::Messages& messages_;
    transport::StopSignal stop_;
    std::unique_ptr<transport::Link> link_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer counters_timer_;
    boost::asio::steady_timer accept_timer_;
    std::map<ClientId, std::shared_ptr<ClientConnection>> clients_;
    RequestQueue queue_;
    StationBackoff stations_;
    Backoff line_;
    Counters counters_;
    ClientId next_client_ = 1;
    bool stopping_ = false;
};

}  // namespace gateway
