// The gateway: Modbus TCP clients in, a request handler (the forwarder to the controller's serial
// line) out, one request handled at a time. Everything runs on one thread and one Boost.Asio
// context, the one the program gives it: while the line waits for a reply, the same loop accepts
// clients, reads their requests into the queue and writes answers out, so no client waits for
// another's bytes and nothing needs a lock. The line's exchanges run only from the loop's top
// (the line queue), never from inside a handler, so one exchange never starts within another.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/steady_timer.hpp>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "console/program.h"
#include "console/stop_signal.h"
#include "gateway/connection_manager.h"
#include "gateway/counters.h"
#include "gateway/line_forwarder.h"
#include "gateway/listener.h"
#include "gateway/request_handler.h"
#include "gateway/request_queue.h"
#include "gateway/settings.h"
#include "transport/line_queue.h"
#include "transport/link.h"
#include "web/console.h"

namespace gateway {

// The console's own reads take their turns in the queue as this client.
inline constexpr ClientId kConsoleClient = 0;

class Server final : public ConnectionEvents, public web::ConsoleSource {
  public:
    // Runs on `stop`'s loop; its signals are the program's, which call Stop.
    Server(Settings settings, const console::Messages& messages, console::StopSignal& stop);
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the serial port and listens: none, or the one line that says why it cannot.
    std::optional<text::Failure> Start();
    // Serves until Stop: then it stops accepting, finishes the exchange on the line, answers the
    // requests still waiting with 0A and prints the counters.
    void Run();
    // Winds down as Run says. Asked twice, the exchange under way ends too.
    void Stop();

    void Requested(ClientId client, modbus::WireFrame request) override;
    void Closed(ClientId client, const std::string& peer, const std::string& reason) override;

    web::LineView Line() const override;
    void Send(std::vector<std::uint8_t> pdu, std::string who, Answered answered) override;

  private:
    std::string Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer);
    // Hands `request` to the handler; Finish answers it when the handler is done.
    void Serve(const PendingRequest& request);
    void Finish(const PendingRequest& request, const Handled& handled);
    void Answer(const PendingRequest& request, const std::vector<std::uint8_t>& pdu,
                const std::string& result);
    // Opens the console on --web's address: none, or why it cannot.
    std::optional<text::Failure> OpenConsole();
    void PrintCountersEvery();
    void Log(const std::string& line) const;
    // A client connected, closed or was refused: said from --log-level connections on.
    void LogConnection(const std::string& line) const;

    Settings settings_;
    const console::Messages& messages_;
    console::StopSignal& stop_;
    std::unique_ptr<transport::Link> link_;
    std::unique_ptr<transport::LineQueue> line_;
    std::unique_ptr<LineForwarder> handler_;
    Listener listener_;
    Listener web_listener_;
    std::unique_ptr<web::Console> console_;
    // The console's requests in the queue, oldest first: who asked, and where the answer goes.
    std::deque<std::pair<std::string, Answered>> console_requests_;
    ConnectionManager connections_;
    boost::asio::steady_timer counters_timer_;
    RequestQueue queue_;
    Counters counters_;
    bool handling_ = false;  // a request is with the handler
    bool stopping_ = false;
};

}  // namespace gateway
