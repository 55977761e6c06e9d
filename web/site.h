// What the console's connections share: who may connect, how many are open, the pages to send to,
// and what the console does with a page's words. Held by every connection as well as the console,
// so that a connection whose handler runs after the console has closed finds it closed, not gone.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/credentials.h"
#include "web/request_checks.h"

namespace web {

class PageSocket;

// Connections at once, pages and plain requests together: past it the oldest that is no page is
// closed for each that comes, so a flood of them costs a few file descriptors and no memory, and
// a browser still gets in.
inline constexpr std::size_t kMostConnections = 64;
// Pages at once: each has a scan's worth of messages queued at most.
inline constexpr std::size_t kMostPages = 16;

// A page's write as it came: its JSON body, the token it carries and who sent it.
struct WriteAsked {
    std::string body;
    std::string token;
    std::string peer;
};
// The answer to a write: an HTTP status and a JSON body.
using WriteAnswered = std::function<void(unsigned status, std::string body)>;

struct Site {
    ConsoleAddress address;
    std::optional<Credentials> credentials;                      // --web-password-file
    std::function<bool(const boost::asio::ip::address&)> admit;  // --allow
    std::function<void(const std::string&)> log;

    // A page's resource made when asked ("/trend.csv"), with its Content-Type; none elsewhere.
    std::function<std::optional<std::pair<std::string, std::string>>(std::string_view)> made;
    std::function<void(PageSocket&)> page_opened;
    std::function<void(PageSocket&, std::string_view)> page_said;
    std::function<void(const WriteAsked&, WriteAnswered)> write;

    bool closed = false;
    std::size_t open = 0;  // connections now
    std::uint64_t next = 1;
    // Every connection, to close them all when the console closes.
    std::map<std::uint64_t, std::function<void()>> closers;
    std::map<std::uint64_t, std::weak_ptr<PageSocket>> pages;
};

// A connection's place among the open ones, given back when it ends.
class Seat {
  public:
    explicit Seat(std::shared_ptr<Site> site) : site_(std::move(site)), id_(site_->next++) {
        ++site_->open;
    }
    ~Seat() {
        --site_->open;
        site_->closers.erase(id_);
        site_->pages.erase(id_);
    }
    Seat(const Seat&) = delete;
    Seat& operator=(const Seat&) = delete;

    Site& site() const noexcept { return *site_; }
    const std::shared_ptr<Site>& shared() const noexcept { return site_; }
    std::uint64_t id() const noexcept { return id_; }

  private:
    std::shared_ptr<Site> site_;
    std::uint64_t id_;
};

}  // namespace web
