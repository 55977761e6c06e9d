#include "transport/line_queue.h"

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

namespace transport {

void LineQueue::AsyncTransact(std::uint8_t station, std::vector<std::uint8_t> request, bool once,
                              Done done) {
    queued_.push_back({station, std::move(request), once, std::move(done)});
}

bool LineQueue::RunNext() {
    if (queued_.empty()) {
        return false;
    }
    Queued next = std::move(queued_.front());
    queued_.pop_front();
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome = next.once ? link_.TransactOnce(next.station, next.request)
                                : link_.TransactWith(next.station, next.request);
    const auto took = std::chrono::steady_clock::now() - started;
    boost::asio::post(io_, [done = std::move(next.done), outcome = std::move(outcome),
                            took]() mutable { done(std::move(outcome), took); });
    return true;
}

}  // namespace transport
