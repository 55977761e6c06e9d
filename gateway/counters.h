// What the gateway has done since it started, printed on request (SIGUSR1), every
// --stats-interval and at exit, as one line: "1234 requests, 3 retries, 1 timeouts, exceptions
// 02:4 0B:1, clients 2 now / 70 in total, line busy 93 %".
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>

namespace gateway {

struct Counters {
    std::uint64_t requests = 0;  // answered, whoever answered them
    std::uint64_t retries = 0;   // tries on the line beyond each request's first
    std::uint64_t timeouts = 0;  // requests that got no sound answer after every try
    std::array<std::uint64_t, 256> exceptions{};  // answered with each exception code
    std::uint64_t clients_now = 0;
    std::uint64_t clients_total = 0;
    std::chrono::steady_clock::duration line_busy{};  // spent on the line's exchanges
    // How long answers took from the request's arrival, by the millisecond: a few hundred
    // entries at most, however long the gateway runs.
    std::map<std::int64_t, std::uint64_t> answer_times;
    std::chrono::steady_clock::time_point started;
};

std::string CountersText(const Counters& counters, std::chrono::steady_clock::time_point now);

}  // namespace gateway
