#include "web/console.h"

#include <algorithm>
#include <cmath>

#include "modbus/function_codes.h"
#include "modbus/pdu.h"
#include "web/http_session.h"
#include "web/page_socket.h"

namespace web {

namespace {

// The line view is sent this often; the traffic in batches this often, so that a busy gateway
// sends a page a few messages a second, not one per request.
constexpr auto kLineEvery = std::chrono::seconds(1);
constexpr auto kTrafficEvery = std::chrono::milliseconds(200);
// A scan starts this many of its own durations after the last began, at the soonest.
constexpr int kLineShare = 4;

}  // namespace

Console::Console(boost::asio::io_context& io, ConsoleSettings settings, modbus::LineCost cost,
                 ConsoleSource& source, std::function<void(const std::string&)> log)
    : settings_(std::move(settings)),
      cost_(cost),
      source_(source),
      site_(std::make_shared<Site>()),
      limits_{settings_.version, settings_.trend, settings_.keep_watching, kTrafficKept,
              settings_.writes && !settings_.read_only},
      line_timer_(io),
      traffic_timer_(io),
      scan_timer_(io),
      watch_(cost),
      trend_(settings_.trend, kMostSamples) {
    site_->address = {settings_.host, settings_.port, settings_.names};
    site_->log = std::move(log);
    site_->made =
        [this](std::string_view path) -> std::optional<std::pair<std::string, std::string>> {
        if (path == "/trend.csv") {
            return std::pair{std::string("text/csv; charset=utf-8"), TrendCsv(trend_)};
        }
        return std::nullopt;
    };
    site_->page_opened = [this](PageSocket& page) { Opened(page); };
    site_->page_said = [this](PageSocket& page, std::string_view text) { Said(page, text); };
    site_->credentials = settings_.credentials;
    site_->write = [this](const WriteAsked& asked, const WriteAnswered& answered) {
        Write(asked, answered);
    };
}

Console::~Console() {
    // A connection's handler that runs after this finds the site closed and ends there.
    site_->closed = true;
}

std::string Console::Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer) {
    if (closed_) {
        return "the gateway is stopping";
    }
    if (site_->open >= kMostConnections) {
        // The oldest connection that is no page makes room: a flood of idle connections then
        // costs each of them its place in turn, and a browser coming after it still gets in.
        const auto oldest =
            std::find_if(site_->closers.begin(), site_->closers.end(),
                         [&](const auto& entry) { return site_->pages.count(entry.first) == 0; });
        if (oldest == site_->closers.end()) {
            return std::to_string(kMostConnections) + " console connections already";
        }
        const auto close = oldest->second;
        site_->closers.erase(oldest);
        close();
    }
    std::make_shared<HttpSession>(std::move(socket), peer, site_)->Start();
    return {};
}

void Console::Start(std::uint16_t port) {
    site_->address.port = port;
    page_seen_ = Clock::now() - settings_.keep_watching;
    SendLineEvery();
}

void Console::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    site_->closed = true;
    line_timer_.cancel();
    traffic_timer_.cancel();
    scan_timer_.cancel();
    // Closing one may end another's entry: the closers are copied first.
    const auto closers = site_->closers;
    for (const auto& [id, close] : closers) {
        close();
    }
    site_->made = nullptr;
    site_->page_opened = [](PageSocket&) {};
    site_->page_said = [](PageSocket&, std::string_view) {};
    site_->write = [](const WriteAsked&, const WriteAnswered& answered) {
        answered(503, R"({"error":"the gateway is stopping"})");
    };
}

void Console::Traffic(TrafficEntry entry) {
    if (closed_) {
        return;
    }
    traffic_.push_back(std::move(entry));
    if (traffic_.size() > kTrafficKept) {
        traffic_.pop_front();
    }
    traffic_unsent_ = std::min(traffic_unsent_ + 1, traffic_.size());
    if (traffic_unsent_ == 1) {
        traffic_timer_.expires_after(kTrafficEvery);
        traffic_timer_.async_wait([this](const boost::system::error_code& error) {
            if (!error && !closed_) {
                FlushTraffic();
            }
        });
    }
}

void Console::FlushTraffic() {
    const auto first = traffic_.end() - static_cast<std::ptrdiff_t>(traffic_unsent_);
    traffic_unsent_ = 0;
    if (!site_->pages.empty()) {
        const std::vector<TrafficEntry> fresh(first, traffic_.end());
        Broadcast(TrafficMessage(fresh));
    }
}

void Console::Opened(PageSocket& page) {
    const auto send = [&](std::string message) {
        page.Send(std::make_shared<const std::string>(std::move(message)));
    };
    send(HelloMessage(limits_, page.token()));
    send(LineMessage(source_.Line()));
    // The backlog, less what the next batch brings.
    const std::vector<TrafficEntry> kept(
        traffic_.begin(), traffic_.end() - static_cast<std::ptrdiff_t>(traffic_unsent_));
    send(TrafficMessage(kept));
    const auto now = Clock::now();
    send(WatchText(now));
    send(TrendMessage(trend_));
    const bool was_idle = !Watched(now);
    page_seen_ = now;
    if (was_idle) {
        Scan();
    }
}

void Console::Said(PageSocket& page, std::string_view text) {
    auto asked = ReadPageMessage(text);
    if (auto* failure = std::get_if<text::Failure>(&asked)) {
        watch_error_ = failure->message;
        page.Send(std::make_shared<const std::string>(WatchText(Clock::now())));
        return;
    }
    const auto& said = std::get<PageRequest>(asked);
    if (const auto* lookup = std::get_if<LookupRequest>(&said)) {
        page.Send(
            std::make_shared<const std::string>(LookupMessage(lookup->text, lookup->numbers)));
        return;
    }
    const auto& request = std::get<WatchRequest>(said);
    std::vector<std::string> notes;
    auto failure = request.tag_list ? watch_.WatchTagList(*request.tag_list, notes)
                                    : watch_.Watch(request.items, notes);
    if (failure) {
        watch_error_ = failure->message;
        page.Send(std::make_shared<const std::string>(WatchText(Clock::now())));
        return;
    }
    watch_error_.clear();
    watch_notes_ = std::move(notes);
    interval_ = request.interval;
    scanned_at_.reset();
    ++generation_;
    trend_.Reset(watch_.Series());
    Broadcast(WatchText(Clock::now()));
    Broadcast(TrendMessage(trend_));
    // A scan under way ends with the read the gateway holds; the new list's begins now.
    scanning_ = false;
    scan_timer_.cancel();
    Scan();
}

void Console::Broadcast(const std::string& message) {
    const auto shared = std::make_shared<const std::string>(message);
    // Sending may close a page that has fallen behind, which takes it out of the map.
    const auto pages = site_->pages;
    for (const auto& [id, weak] : pages) {
        if (auto page = weak.lock()) {
            page->Send(shared);
        }
    }
}

void Console::SendLineEvery() {
    if (!site_->pages.empty()) {
        Broadcast(LineMessage(source_.Line()));
    }
    line_timer_.expires_after(kLineEvery);
    line_timer_.async_wait([this](const boost::system::error_code& error) {
        if (!error && !closed_) {
            SendLineEvery();
        }
    });
}

std::string Console::WatchText(Clock::time_point now) const {
    return WatchMessage(
        {watch_.items(), interval_, watch_error_, watch_notes_, watch_.Values(now), scanned_at_});
}

bool Console::Watched(Clock::time_point now) const {
    return !watch_.empty() && (!site_->pages.empty() || now - page_seen_ < settings_.keep_watching);
}

void Console::Scan() {
    const auto now = Clock::now();
    if (closed_ || scanning_ || !Watched(now)) {
        return;
    }
    if (!site_->pages.empty()) {
        page_seen_ = now;
    }
    scanning_ = true;
    scan_started_ = now;
    watch_.Begin();
    ReadNext();
}

void Console::ReadNext() {
    if (reading_) {
        return;  // the answer to the read under way sends the next
    }
    const modbus::ReadRequest* next = watch_.Next();
    if (next == nullptr) {
        ScanDone();
        return;
    }
    reading_ = true;
    auto pdu = modbus::RequestPdu(*next);
    source_.Send(pdu, "console",
                 [this, pdu, generation = generation_, sent = Clock::now()](
                     std::vector<std::uint8_t> answer, std::string result) {
                     reading_ = false;
                     if (closed_) {
                         return;
                     }
                     const auto now = Clock::now();
                     if (generation != generation_) {
                         // Asked of a list that has been replaced: the new list's scan starts now.
                         scanning_ = false;
                         Scan();
                         return;
                     }
                     watch_.Take(OutcomeOf(pdu, std::move(answer), std::move(result)), now - sent,
                                 now);
                     ReadNext();
                 });
}

void Console::ScanDone() {
    scanning_ = false;
    const auto now = Clock::now();
    const WallMilliseconds at = WallNow();
    scanned_at_ = at;
    TrendSample sample{at, {}};
    const auto values = watch_.Values(now);
    sample.values.reserve(values.size());
    for (const auto& value : values) {
        sample.values.push_back(value.number.value_or(std::nan("")));
    }
    trend_.Add(sample);
    if (!site_->pages.empty()) {
        Broadcast(WatchText(now));
        Broadcast(SampleMessage(trend_.samples().back()));
    }
    // The console is one client among the gateway's: on a slow line, where a scan takes longer
    // than a quarter of the interval, the next waits so the scans hold a quarter of the line at
    // most and the Modbus clients keep the rest.
    scan_timer_.expires_at(
        scan_started_ + std::max<Clock::duration>(interval_, (now - scan_started_) * kLineShare));
    scan_timer_.async_wait([this](const boost::system::error_code& error) {
        if (!error && !closed_) {
            Scan();
        }
    });
}

}  // namespace web
