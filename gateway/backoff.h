// What the gateway does with a path that keeps failing: the serial port that cannot be opened, a
// station that does not answer. Asking it for every request would stall every client for the
// whole timeout each time, so once it has failed often enough in a row it is marked, and the
// requests meant for it are answered at once, but for one real try per interval to find it alive
// again. The interval doubles with every try that fails, up to a ceiling; one success clears the
// mark.
//
// Pure bookkeeping: the caller keeps the clock and says what happened. Nothing here throws.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace gateway {

using Clock = std::chrono::steady_clock;

struct BackoffPolicy {
    unsigned failures_to_mark = 2;  // failed requests in a row before requests are refused
    Clock::duration first_interval = std::chrono::seconds(1);
    Clock::duration longest_interval = std::chrono::seconds(30);
};

class Backoff {
  public:
    explicit Backoff(BackoffPolicy policy = {}) noexcept : policy_(policy) {}

    // Whether a request may go to the path at `now`: always while it is not marked; once marked,
    // only when its next try is due, and that request is then the try (the next one is not due
    // before this one has failed again).
    bool MayTry(Clock::time_point now) noexcept;
    void Succeeded() noexcept;
    void Failed(Clock::time_point now) noexcept;

    bool marked() const noexcept { return failures_ >= policy_.failures_to_mark; }
    // When a marked path's next try is due.
    Clock::time_point next_try() const noexcept { return next_try_; }

  private:
    BackoffPolicy policy_;
    unsigned failures_ = 0;
    Clock::duration interval_{};
    Clock::time_point next_try_{};
    bool trying_ = false;  // a marked path's try is under way
};

// A Backoff for each station address.
class StationBackoff {
  public:
    explicit StationBackoff(BackoffPolicy policy) noexcept { stations_.fill(Backoff(policy)); }

    Backoff& operator[](std::uint8_t station) noexcept { return stations_[station]; }
    const Backoff& at(std::uint8_t station) const noexcept { return stations_[station]; }

  private:
    std::array<Backoff, 256> stations_;
};

}  // namespace gateway
