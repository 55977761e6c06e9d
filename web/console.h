// The console a gateway serves to browsers: its page, and over each page's WebSocket the line, the
// traffic, the watch list's values and their trends. The watch list lives here, not in the pages:
// every page shares one scan, which the gateway sends to the line as one more client in its fair
// queue, one request at a time. With no watch list nothing is sent; a list is read while a page is
// open and for the minutes asked after the last one closes, so a page opened later still shows
// the past minutes.
//
// Runs on the gateway's loop; nothing here blocks or throws past its handlers.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modbus/line_cost.h"
#include "web/console_messages.h"
#include "web/console_write.h"
#include "web/credentials.h"
#include "web/site.h"
#include "web/trend_buffer.h"
#include "web/watch_list.h"

namespace web {

struct ConsoleSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 8080;
    std::vector<std::string> names;  // --web-host
    std::chrono::minutes keep_watching{10};
    std::chrono::minutes trend{10};
    std::string version;     // the program's, for the page
    bool writes = false;     // --web-writes
    bool read_only = false;  // the gateway's --read-only, which refuses them all the same
    std::optional<Credentials> credentials;  // --web-password-file
};

// Requests the console keeps for a page opened later, and a page's trend samples at most (an
// hour at one a second).
inline constexpr std::size_t kTrafficKept = 500;
inline constexpr std::size_t kMostSamples = 3600;

// What the gateway lets its console see and do.
class ConsoleSource {
  public:
    // The answer to a read (its PDU) and the gateway's words for it ("ok", "exception 0B ...").
    using Answered = std::function<void(std::vector<std::uint8_t>, std::string)>;

    virtual ~ConsoleSource() = default;
    virtual LineView Line() const = 0;
    // Sends `pdu` to the line in the console's turns, after the console's requests sent before
    // it; `who` names it in the log and the traffic ("console", "console 127.0.0.1:50312" for a
    // page's write). `answered` is called on the loop.
    virtual void Send(std::vector<std::uint8_t> pdu, std::string who, Answered answered) = 0;
};

class Console {
  public:
    Console(boost::asio::io_context& io, ConsoleSettings settings, modbus::LineCost cost,
            ConsoleSource& source, std::function<void(const std::string&)> log);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Takes a browser's connection (already let in by --allow), `peer` its address: empty, or
    // why not.
    std::string Admit(boost::asio::ip::tcp::socket& socket, const std::string& peer);
    // Starts the line's updates; the port the listener bound gives the Host checks their port.
    void Start(std::uint16_t port);
    // Closes every page and connection; answers still owed are dropped when they come.
    void Close();
    // A request the gateway answered, for the traffic view.
    void Traffic(TrafficEntry entry);

  private:
    void Opened(PageSocket& page);
    void Said(PageSocket& page, std::string_view text);
    void Broadcast(const std::string& message);
    // A page's write, refused or done and read back.
    void Write(const WriteAsked& asked, const WriteAnswered& answered);
    bool KnownToken(const std::string& token) const;
    void StepWrite(const std::shared_ptr<WriteJob>& job, const std::string& who,
                   const std::string& item, const WriteAnswered& answered);
    void SendLineEvery();
    void FlushTraffic();
    std::string WatchText(Clock::time_point now) const;

    // The watch list's scan: begun when due, each read sent when the one before is answered.
    void Scan();
    void ReadNext();
    void ScanDone();
    bool Watched(Clock::time_point now) const;

    ConsoleSettings settings_;
    modbus::LineCost cost_;
    ConsoleSource& source_;
    std::shared_ptr<Site> site_;
    Limits limits_;
    boost::asio::steady_timer line_timer_;
    boost::asio::steady_timer traffic_timer_;
    boost::asio::steady_timer scan_timer_;
    std::deque<TrafficEntry> traffic_;
    std::size_t traffic_unsent_ = 0;  // the newest entries, not yet sent to the pages

    WatchList watch_;
    std::chrono::milliseconds interval_{1000};
    std::string watch_error_;
    std::vector<std::string> watch_notes_;
    std::optional<WallMilliseconds> scanned_at_;
    TrendBuffer trend_;
    std::uint64_t generation_ = 0;  // the watch list's, changed with it
    bool reading_ = false;          // a read is with the gateway
    bool scanning_ = false;
    Clock::time_point scan_started_;
    Clock::time_point page_seen_;  // when a page was last open
    bool closed_ = false;
};

}  // namespace web
