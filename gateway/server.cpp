#include "gateway/server.h"

#include "gateway/line_forwarder.h"
#include "gateway/request_text.h"
#include "modbus/function_codes.h"
#include "modbus/wire.h"
#include "text/ascii_text.h"

namespace gateway {

namespace {

// Answers already queued get this long to reach their clients once the gateway stops.
constexpr auto kLastWrites = std::chrono::seconds(2);

std::string MillisecondsText(Clock::duration time) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(time).count()) +
           " ms";
}

}  // namespace

Server::Server(Settings settings, const console::Messages& messages, console::StopSignal& stop)
    : settings_(std::move(settings)),
      messages_(messages),
      stop_(stop),
      listener_(stop.context(), "--listen", settings_.allow,
                [this](const std::string& line) { Log(line); }),
      web_listener_(stop.context(), "--web", settings_.allow,
                    [this](const std::string& line) { Log(line); }),
      connections_(settings_.max_clients, settings_.idle_timeout),
      counters_timer_(stop.context()) {
    // Frames are not logged one by one: --verbose gives a line per request instead.
    settings_.line.verbose = false;
}

Server::~Server() = default;

std::optional<text::Failure> Server::Start() {
    link_ = transport::MakeLink(stop_.context(), stop_.flag(), settings_.line, nullptr);
    if (auto failure = link_->Open()) {
        return failure;
    }
    if (auto failure = listener_.Open(settings_.listen_host, settings_.listen_port)) {
        return failure;
    }
    line_ = std::make_unique<transport::LineQueue>(stop_.context(), *link_);
    handler_ = std::make_unique<LineForwarder>(settings_, *line_, stop_.flag(), counters_,
                                               [this](const std::string& line) { Log(line); });
    counters_.started = Clock::now();
    Log("listening on " + listener_.where() + ", forwarding to " +
        transport::ConnectionText(settings_.line));
    return settings_.web ? OpenConsole() : std::nullopt;
}

std::optional<text::Failure> Server::OpenConsole() {
    if (auto failure = web_listener_.Open(settings_.web->host, settings_.web->port)) {
        return failure;
    }
    console_ = std::make_unique<web::Console>(stop_.context(), *settings_.web,
                                              transport::LineCostFor(settings_.line), *this,
                                              [this](const std::string& line) { Log(line); });
    console_->Start(web_listener_.port());
    Log("console on http://" + web_listener_.where() + "/");
    return std::nullopt;
}

void Server::Run() {
    listener_.Accept([this](auto& socket, const std::string& peer) { return Admit(socket, peer); },
                     [this](const std::string& line) { LogConnection(line); });
    if (console_) {
        web_listener_.Accept(
            [this](auto& socket, const std::string& peer) { return console_->Admit(socket, peer); },
            [this](const std::string& line) { LogConnection("console: " + line); });
    }
    PrintCountersEvery();
    auto& io = stop_.context();
    while (!stopping_ && !stop_.requested()) {
        if (stop_.TakeReportRequest()) {
            Log(CountersText(counters_, Clock::now()));
        }
        if (!handling_) {
            if (auto next = queue_.Next()) {
                Serve(*next);
                continue;
            }
        }
        if (line_->RunNext()) {
            continue;
        }
        io.restart();
        io.run_one();
    }
    // The request with the handler is finished: its exchange on the line, if not yet run, and
    // its answer.
    while (handling_) {
        if (!line_->RunNext()) {
            io.restart();
            io.run_one();
        }
    }
    // The exchange on the line is done: what still waits is answered 0A, each client's in order.
    for (const auto& request : queue_.TakeAll()) {
        Answer(request, ExceptionPdu(request.pdu.at(0), modbus::kGatewayPathUnavailable),
               "the gateway stopped");
    }
    connections_.CloseAllWhenAnswered("the gateway stopped");
    const auto last = Clock::now() + kLastWrites;
    while (connections_.size() > 0 && !stop_.requested() && Clock::now() < last) {
        io.restart();
        io.run_one_until(last);
    }
    connections_.CloseAll("the gateway stopped");
    Log(CountersText(counters_, Clock::now()));
}

std::string Server::Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer) {
    std::string refused = connections_.Admit(socket, peer, *this);
    if (refused.empty()) {
        ++counters_.clients_now;
        ++counters_.clients_total;
        LogConnection(peer + " connected (" + ClientsText(connections_.size()) + ")");
    }
    return refused;
}

void Server::Requested(ClientId client, modbus::WireFrame request) {
    PendingRequest pending{client, request.transaction, request.slave, std::move(request.pdu),
                           Clock::now()};
    // Queued even when stopping: answered with the rest once the exchange under way is done, so
    // that a client's answers keep the order of its requests.
    queue_.Push(std::move(pending));
}

void Server::Closed(ClientId client, const std::string& peer, const std::string& reason) {
    if (connections_.Remove(client)) {
        --counters_.clients_now;
    }
    queue_.Drop(client);
    LogConnection(peer + " closed: " + reason);
}

void Server::Serve(const PendingRequest& request) {
    handling_ = true;
    handler_->Handle(request,
                     [this, request](const Handled& handled) { Finish(request, handled); });
}

void Server::Finish(const PendingRequest& request, const Handled& handled) {
    handling_ = false;
    const auto took = Clock::now() - request.arrived;
    ++counters_.answer_times[std::chrono::duration_cast<std::chrono::milliseconds>(took).count()];
    const ClientConnection* client = connections_.Find(request.client);
    const std::string peer =
        request.client == kConsoleClient
            ? (console_requests_.empty() ? "console" : console_requests_.front().first)
        : client == nullptr ? "(gone)"
                            : client->peer();
    Answer(request, handled.pdu, handled.result);
    if (settings_.log_level < LogLevel::Requests && !console_) {
        return;
    }
    const std::string what = RequestText(handled.station, request.pdu);
    if (settings_.log_level >= LogLevel::Requests) {
        Log(peer + " unit " + std::to_string(request.unit) + " " + what + " \u2192 " +
            handled.result + " " + MillisecondsText(took));
    }
    if (console_) {
        console_->Traffic({web::WallNow(), peer, request.unit, what, handled.result,
                           std::chrono::duration_cast<std::chrono::milliseconds>(took).count()});
    }
}

void Server::Answer(const PendingRequest& request, const std::vector<std::uint8_t>& pdu,
                    const std::string& result) {
    ++counters_.requests;
    if (pdu.size() == 2 && modbus::IsExceptionFunction(pdu[0])) {
        ++counters_.exceptions[pdu[1]];
    }
    if (request.client == kConsoleClient) {
        // The console's requests keep their order in its queue: this answers the oldest.
        if (!console_requests_.empty()) {
            auto answered = std::move(console_requests_.front().second);
            console_requests_.pop_front();
            answered(pdu, result);
        }
        return;
    }
    if (ClientConnection* client = connections_.Find(request.client)) {
        client->Answer(modbus::TcpFrame(request.transaction, request.unit, pdu));
    }
}

void Server::Stop() {
    if (stopping_) {
        // Asked twice: the exchange under way ends too.
        stop_.Request();
        return;
    }
    stopping_ = true;
    listener_.Close();
    web_listener_.Close();
    if (console_) {
        console_->Close();
    }
    counters_timer_.cancel();
}

web::LineView Server::Line() const {
    const auto now = Clock::now();
    auto health = handler_->HealthAt(now);
    web::LineView line{transport::ConnectionText(settings_.line),
                       health.up,
                       health.problem,
                       std::chrono::duration_cast<std::chrono::seconds>(now - counters_.started),
                       CountersText(counters_, now),
                       counters_.requests,
                       counters_.retries,
                       counters_.timeouts,
                       {},
                       0,
                       web::AnswerTimesOf(counters_.answer_times),
                       std::move(health.stations),
                       {}};
    for (unsigned code = 0; code < counters_.exceptions.size(); ++code) {
        if (counters_.exceptions[code] != 0) {
            line.exceptions[text::ascii::HexByte(static_cast<std::uint8_t>(code))] =
                counters_.exceptions[code];
        }
    }
    const auto running = now - counters_.started;
    if (running > Clock::duration::zero()) {
        line.line_busy_percent =
            static_cast<unsigned>(std::min<std::int64_t>(100, counters_.line_busy * 100 / running));
    }
    for (const auto& [id, client] : connections_.clients()) {
        line.clients.push_back(
            {client->peer(), client->answered(),
             std::chrono::duration_cast<std::chrono::seconds>(now - client->connected_at())});
    }
    return line;
}

void Server::Send(std::vector<std::uint8_t> pdu, std::string who, Answered answered) {
    console_requests_.emplace_back(std::move(who), std::move(answered));
    queue_.Push({kConsoleClient, 0, settings_.line.slave, std::move(pdu), Clock::now()});
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
