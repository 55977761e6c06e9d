// A link's exchanges for a caller that must not wait on the line, such as a server on its own
// loop: each request is queued with a completion handler and returns at once; the program's loop
// runs the exchanges one at a time from its top (never from inside a handler, where the link could
// not run the loop while it waits), and each handler is then called on the loop with the outcome.
// While an exchange waits for its reply the link runs the same loop, so everything else on it
// (clients, timers, pages) goes on.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "transport/link.h"

namespace transport {

class LineQueue {
  public:
    // The outcome, and how long the exchange held the line.
    using Done = std::function<void(Outcome, std::chrono::steady_clock::duration)>;

    // Exchanges on `link`, whose loop is `io`.
    LineQueue(boost::asio::io_context& io, Link& link) noexcept : io_(io), link_(link) {}

    // Queues the exchange of `request` with `station`, with one try only when `once` (a probe);
    // `done` is called on the loop once it has run, never from inside this call.
    void AsyncTransact(std::uint8_t station, std::vector<std::uint8_t> request, bool once,
                       Done done);

    // Runs the oldest exchange queued and posts its handler to the loop: whether one ran. Only
    // from the loop's top.
    bool RunNext();

    std::size_t waiting() const noexcept { return queued_.size(); }

  private:
    struct Queued {
        std::uint8_t station;
        std::vector<std::uint8_t> request;
        bool once;
        Done done;
    };

    boost::asio::io_context& io_;
    Link& link_;
    std::deque<Queued> queued_;
};

}  // namespace transport
