#include "transport/owed_replies.h"

#include <algorithm>

namespace transport {

void OwedReplies::Sent(Time at) {
    sent_.push_back(at);
    last_sent_ = at;
}

void OwedReplies::Heard(Time at) noexcept {
    last_heard_ = std::max(last_heard_, at);
}

OwedReplies::Duration OwedReplies::Answered(Time at) {
    Heard(at);
    if (sent_.empty()) {
        return Duration::zero();
    }
    const Duration delay = std::max(Duration::zero(), at - sent_.front());
    sent_.pop_front();
    longest_ = std::max(longest_, delay);
    return delay;
}

OwedReplies::Time OwedReplies::GiveUpAt() const noexcept {
    // 1.5 times the longest delay, in whole ticks without overflow for any delay a line can show.
    const Duration margin = std::max(timeout_, longest_ + longest_ / 2);
    return std::max(last_heard_, last_sent_ + timeout_) + margin;
}

}  // namespace transport
