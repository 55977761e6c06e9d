// The requests waiting for the line, kept per client connection and served round robin: each turn
// takes the oldest request of the next connection that has one, so a client that sends many
// requests at once waits behind every other client's next one, and none is starved. One
// connection's requests keep their order, so its answers do too.
//
// Pure bookkeeping on the gateway's one thread: nothing here waits, locks or throws (but
// std::bad_alloc when memory runs out).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace gateway {

using ClientId = std::uint64_t;

// A Modbus TCP request as it arrived: who sent it, its transaction and unit to answer with, and
// its PDU (function code and data).
struct PendingRequest {
    ClientId client = 0;
    std::uint16_t transaction = 0;
    std::uint8_t unit = 0;
    std::vector<std::uint8_t> pdu;
    std::chrono::steady_clock::time_point arrived;
};

class RequestQueue {
  public:
    void Push(PendingRequest request);
    // The next request to put on the line: the oldest of the first connection after the one
    // served last (by connection number, wrapping round) that has one. None when none waits.
    std::optional<PendingRequest> Next();
    // The requests of `client`, which is gone: dropped unanswered.
    void Drop(ClientId client);
    // Every request still waiting, in the order the turns would have taken them, the queue left
    // empty: a gateway that stops answers them all.
    std::vector<PendingRequest> TakeAll();

    std::size_t waiting(ClientId client) const noexcept;
    std::size_t size() const noexcept { return size_; }

  private:
    // Only connections with a request waiting have an entry.
    std::map<ClientId, std::deque<PendingRequest>> waiting_;
    std::optional<ClientId> served_last_;
    std::size_t size_ = 0;
};

}  // namespace gateway
