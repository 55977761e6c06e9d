// How the gateway runs, as its command line sets it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gateway/allow_list.h"
#include "gateway/backoff.h"
#include "gateway/request_route.h"
#include "transport/connection.h"
#include "web/console.h"

namespace gateway {

// What the gateway says on standard error beyond its start, the line's and the stations' failures
// and returns, and the counters: nothing more, each client's connection too, or each request too.
enum class LogLevel { Quiet, Connections, Requests };

struct Settings {
    transport::Connection line;
    std::string listen_host = "127.0.0.1";
    std::uint16_t listen_port = 502;
    RouteRules rules = EveryStation(1);
    std::vector<AllowedNetwork> allow;  // empty: every client
    std::size_t max_clients = 32;
    Clock::duration idle_timeout = std::chrono::seconds(60);
    Clock::duration stats_interval{};  // zero: only on request and at exit
    // The longest a station that stopped answering waits between two probes.
    Clock::duration retry_dead_after = std::chrono::seconds(1);
    LogLevel log_level = LogLevel::Connections;
    std::optional<web::ConsoleSettings> web;  // --web: none unless asked
};

}  // namespace gateway
