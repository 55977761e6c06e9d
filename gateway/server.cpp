#include "gateway/server.h"

#include "gateway/request_text.h"
#include "modbus/function_codes.h"
#include "modbus/wire.h"
#include "transport/error_text.h"

namespace gateway {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// The port is opened again after half a second, then after longer waits up to 8 s: a cable
// plugged back is found soon, a port that is gone costs almost nothing.
constexpr BackoffPolicy kLinePolicy{1, std::chrono::milliseconds(500), std::chrono::seconds(8)};
// Answers already queued get this long to reach their clients once the gateway stops.
constexpr auto kLastWrites = std::chrono::seconds(2);

std::string EndpointText(const tcp::endpoint& endpoint) {
    auto address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    const std::string host =
        address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, std::uint8_t exception) {
    return {static_cast<std::uint8_t>(function | modbus::kExceptionBit), exception};
}

std::string ListenFailure(const tcp::endpoint& where, const boost::system::error_code& error) {
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
            "or on a port from 1024 up (--listen " +
            other_port + ")";
    } else if (error == asio::error::address_in_use) {
        text +=
            "; another program listens there: stop it, or choose another port (--listen "
            "127.0.0.1:1502)";
    } else if (error == boost::system::errc::address_not_available) {
        text +=
            "; give an address of this machine: 127.0.0.1 for this machine only, 0.0.0.0 "
            "for every network";
    }
    return text;
}

std::string ClientsText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " client" : " clients");
}

std::string MillisecondsText(Clock::duration time) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(time).count()) +
           " ms";
}

}  // namespace

Server::Server(Settings settings, const console::Messages& messages)
    : settings_(std::move(settings)),
      messages_(messages),
      stop_([this] { Stop(); }),
      acceptor_(stop_.context()),
      counters_timer_(stop_.context()),
      accept_timer_(stop_.context()),
      // A station whose request went unanswered through every try is answered 0B at once, and
      // probed with one try now and then: a dead station holds the line for one timeout at a
      // time, never a round of retries, and one that is back is found within the interval.
      stations_(BackoffPolicy{
          1, std::min<Clock::duration>(std::chrono::seconds(1), settings_.retry_dead_after),
          settings_.retry_dead_after}),
      line_(kLinePolicy) {
    // Frames are not logged one by one: --verbose gives a line per request instead.
    settings_.line.verbose = false;
}

Server::~Server() = default;

std::optional<text::Failure> Server::Start() {
    link_ = transport::MakeLink(stop_, settings_.line, nullptr);
    if (auto failure = link_->Open()) {
        return failure;
    }
    const auto endpoint = ListenEndpoint();
    if (!endpoint) {
        return text::Failure{"--listen " + settings_.listen_host +
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
        return text::Failure{ListenFailure(*endpoint, error)};
    }
    counters_.started = Clock::now();
    Log("listening on " + EndpointText(acceptor_.local_endpoint(error)) + ", forwarding to " +
        transport::ConnectionText(settings_.line));
    return std::nullopt;
}

std::optional<tcp::endpoint> Server::ListenEndpoint() {
    boost::system::error_code error;
    const auto address = asio::ip::make_address(settings_.listen_host, error);
    if (!error) {
        return tcp::endpoint(address, settings_.listen_port);
    }
    // A name, such as localhost: its first address.
    tcp::resolver resolver(stop_.context());
    const auto found =
        resolver.resolve(settings_.listen_host, std::to_string(settings_.listen_port),
                         tcp::resolver::passive, error);
    if (error || found.empty()) {
        return std::nullopt;
    }
    return found.begin()->endpoint();
}

void Server::Run() {
    Accept();
    PrintCountersEvery();
    auto& io = stop_.context();
    while (!stopping_ && !stop_.requested()) {
        if (stop_.TakeReportRequest()) {
            Log(CountersText(counters_, Clock::now()));
        }
        if (auto next = queue_.Next()) {
            Serve(*next);
            continue;
        }
        io.restart();
        io.run_one();
    }
    // The exchange on the line is done: what still waits is answered 0A, each client's in order.
    for (const auto& request : queue_.TakeAll()) {
        Answer(request, ExceptionPdu(request.pdu.at(0), modbus::kGatewayPathUnavailable));
    }
    for (const auto& [id, client] : std::map(clients_)) {
        client->CloseWhenAnswered("the gateway stopped");
    }
    const auto last = Clock::now() + kLastWrites;
    while (!clients_.empty() && !stop_.requested() && Clock::now() < last) {
        io.restart();
        io.run_one_until(last);
    }
    for (const auto& [id, client] : std::map(clients_)) {
        client->Close("the gateway stopped");
    }
    Log(CountersText(counters_, Clock::now()));
}

void Server::Accept() {
    acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
        if (stopping_ || !acceptor_.is_open()) {
            return;
        }
        if (error) {
            // Out of file descriptors, most likely: try again shortly rather than spin.
            Log("cannot accept a client: " + transport::ErrorText(error));
            accept_timer_.expires_after(std::chrono::milliseconds(100));
            accept_timer_.async_wait([this](const boost::system::error_code& e) {
                if (!e) {
                    Accept();
                }
            });
            return;
        }
        Admit(std::move(socket));
        Accept();
    });
}

void Server::Admit(tcp::socket socket) {
    boost::system::error_code error;
    const auto remote = socket.remote_endpoint(error);
    if (error) {
        return;  // gone already
    }
    const std::string peer = EndpointText(remote);
    std::string refused;
    if (!Allowed(settings_.allow, remote.address())) {
        refused = "not in --allow";
    } else if (clients_.size() >= settings_.max_clients) {
        refused = ClientsText(clients_.size()) + " already (--max-clients)";
    }
    if (!refused.empty()) {
        LogConnection(peer + " refused: " + refused);
        socket.close(error);
        return;
    }
    const ClientId id = next_client_++;
    auto client = std::make_shared<ClientConnection>(std::move(socket), id, peer, *this,
                                                     settings_.idle_timeout);
    clients_.emplace(id, client);
    ++counters_.clients_now;
    ++counters_.clients_total;
    LogConnection(peer + " connected (" + ClientsText(clients_.size()) + ")");
    client->Start();
}

void Server::Requested(ClientId client, modbus::WireFrame request) {
    PendingRequest pending{client, request.transaction, request.slave, std::move(request.pdu),
                           Clock::now()};
    // Queued even when stopping: answered with the rest once the exchange under way is done, so
    // that a client's answers keep the order of its requests.
    queue_.Push(std::move(pending));
}

void Server::Closed(ClientId client, const std::string& peer, const std::string& reason) {
    if (clients_.erase(client) > 0) {
        --counters_.clients_now;
    }
    queue_.Drop(client);
    LogConnection(peer + " closed: " + reason);
}

void Server::Serve(const PendingRequest& request) {
    const auto route = RouteRequest(settings_.rules, request.unit, request.pdu);
    std::string result;
    std::vector<std::uint8_t> answer;
    if (route.exception != 0) {
        answer = ExceptionPdu(request.pdu.at(0), route.exception);
        result = modbus::ExceptionText(route.exception) + ": " + route.reason;
    } else {
        answer = Exchange(request, route.station, result);
    }
    Answer(request, answer);
    if (settings_.log_level >= LogLevel::Requests) {
        const auto found = clients_.find(request.client);
        const std::string peer = found == clients_.end() ? "(gone)" : found->second->peer();
        const std::uint8_t station = route.exception != 0 ? request.unit : route.station;
        Log(peer + " unit " + std::to_string(request.unit) + " " +
            RequestText(station, request.pdu) + " \u2192 " + result + " " +
            MillisecondsText(Clock::now() - request.arrived));
    }
}

std::vector<std::uint8_t> Server::Exchange(const PendingRequest& request, std::uint8_t station,
                                           std::string& result) {
    const std::uint8_t function = request.pdu.at(0);
    auto now = Clock::now();
    if (!line_.MayTry(now)) {
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": the line is down";
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    auto& health = stations_[station];
    const bool probing = health.marked();
    if (!health.MayTry(now)) {
        result = modbus::ExceptionText(modbus::kGatewayTargetFailed) + ": station " +
                 std::to_string(station) + " has not been answering";
        return ExceptionPdu(function, modbus::kGatewayTargetFailed);
    }
    auto outcome = probing ? link_->TransactOnce(station, request.pdu)
                           : link_->TransactWith(station, request.pdu);
    const auto done = Clock::now();
    counters_.line_busy += done - now;
    now = done;
    if (outcome.tries > 1) {
        counters_.retries += outcome.tries - 1;
    }
    if (stop_.requested()) {
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": the gateway stopped";
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    if (outcome.line == transport::LineState::Down) {
        if (!line_.marked()) {
            Log("the line is down: " + outcome.message + "; answering 0A until it is back");
        }
        line_.Failed(now);
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": " + outcome.message;
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    if (line_.marked()) {
        Log("the line is back: " + transport::ConnectionText(settings_.line));
    }
    line_.Succeeded();
    if (!outcome.reply) {
        ++counters_.timeouts;
        const bool was_marked = health.marked();
        health.Failed(now);
        if (health.marked() && !was_marked) {
            Log("station " + std::to_string(station) + " is not answering: " + outcome.message +
                "; answering 0B at once but for one try every " +
                std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   settings_.retry_dead_after)
                                   .count()) +
                " ms at most");
        }
        result = modbus::ExceptionText(modbus::kGatewayTargetFailed) + ": " + outcome.message;
        return ExceptionPdu(function, modbus::kGatewayTargetFailed);
    }
    if (health.marked()) {
        Log("station " + std::to_string(station) + " answers again");
    }
    health.Succeeded();
    result = outcome.reply->kind == modbus::ReplyKind::Exception
                 ? modbus::ExceptionText(outcome.reply->exception)
                 : std::string("ok");
    return std::move(outcome.pdu);
}

void Server::Answer(const PendingRequest& request, const std::vector<std::uint8_t>& pdu) {
    ++counters_.requests;
    if (pdu.size() == 2 && modbus::IsExceptionFunction(pdu[0])) {
        ++counters_.exceptions[pdu[1]];
    }
    const auto found = clients_.find(request.client);
    if (found != clients_.end()) {
        found->second->Answer(modbus::TcpFrame(request.transaction, request.unit, pdu));
    }
}

void Server::Stop() {
    if (stopping_) {
        // Asked twice: the exchange under way ends too.
        stop_.Request();
        return;
    }
    stopping_ = true;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    accept_timer_.cancel();
    counters_timer_.cancel();
}

void Server::PrintCountersEvery() {
    if (settings_.stats_interval <= Clock::duration::zero()) {
        return;
    }
    counters_timer_.expires_after(settings_.stats_interval);
    counters_timer_.async_wait([this](const boost::system::error_code& error) {
        if (error || stopping_) {
            return;
        }
        Log(CountersText(counters_, Clock::now()));
        PrintCountersEvery();
    });
}

void Server::LogConnection(const std::string& line) const {
    if (settings_.log_level >= LogLevel::Connections) {
        Log(line);
    }
}

void Server::Log(const std::string& line) const {
    messages_.Say(line);
}

}  // namespace gateway
