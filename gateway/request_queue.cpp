#include "gateway/request_queue.h"

namespace gateway {

void RequestQueue::Push(PendingRequest request) {
    const ClientId client = request.client;
    waiting_[client].push_back(std::move(request));
    ++size_;
}

std::optional<PendingRequest> RequestQueue::Next() {
    if (waiting_.empty()) {
        return std::nullopt;
    }
    auto turn = served_last_ ? waiting_.upper_bound(*served_last_) : waiting_.begin();
    if (turn == waiting_.end()) {
        turn = waiting_.begin();
    }
    PendingRequest request = std::move(turn->second.front());
    turn->second.pop_front();
    served_last_ = turn->first;
    if (turn->second.empty()) {
        waiting_.erase(turn);
    }
    --size_;
    return request;
}

void RequestQueue::Drop(ClientId client) {
    const auto found = waiting_.find(client);
    if (found != waiting_.end()) {
        size_ -= found->second.size();
        waiting_.erase(found);
    }
}

std::vector<PendingRequest> RequestQueue::TakeAll() {
    std::vector<PendingRequest> all;
    all.reserve(size_);
    while (auto request = Next()) {
        all.push_back(std::move(*request));
    }
    return all;
}

std::size_t RequestQueue::waiting(ClientId client) const noexcept {
    const auto found = waiting_.find(client);
    return found == waiting_.end() ? 0 : found->second.size();
}

}  // namespace gateway
