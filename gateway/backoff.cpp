#include "gateway/backoff.h"

#include <algorithm>

namespace gateway {

bool Backoff::MayTry(Clock::time_point now) noexcept {
    if (!marked()) {
        return true;
    }
    if (trying_ || now < next_try_) {
        return false;
    }
    trying_ = true;
    return true;
}

void Backoff::Succeeded() noexcept {
    failures_ = 0;
    interval_ = {};
    trying_ = false;
}

void Backoff::Failed(Clock::time_point now) noexcept {
    if (failures_ < policy_.failures_to_mark) {
        ++failures_;
    }
    trying_ = false;
    if (!marked()) {
        return;
    }
    interval_ = interval_ == Clock::duration{} ? policy_.first_interval
                                               : std::min(interval_ * 2, policy_.longest_interval);
    next_try_ = now + interval_;
}

}  // namespace gateway
