// What the gateway and its pages say to each other over the console's WebSocket, as JSON text:
// the gateway's line, its traffic, the watch list's values and the trends out; the watch list a
// page asks for in. Each message is one object with a "type".
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "conversion/device_map.h"
#include "text/failure.h"
#include "web/trend_buffer.h"
#include "web/watch_list.h"

namespace web {

// A station the gateway has forwarded to, and whether it answers.
struct StationView {
    unsigned station = 0;
    bool answering = true;
    std::string problem;                                // why it is not answering
    std::optional<std::chrono::milliseconds> probe_in;  // until its next probe
};

// A Modbus TCP client connected now.
struct ClientView {
    std::string peer;
    std::uint64_t requests = 0;
    std::chrono::seconds connected{};
};

// How long answers took, by the millisecond, and its percentiles.
struct AnswerTimes {
    std::uint64_t count = 0;
    std::int64_t p50 = 0, p90 = 0, p99 = 0, max = 0;
};
AnswerTimes AnswerTimesOf(const std::map<std::int64_t, std::uint64_t>& milliseconds);

// The gateway's line as its Line view shows it.
struct LineView {
    std::string connection;
    bool up = true;
    std::string problem;  // why it is down
    std::chrono::seconds uptime{};
    std::string counters_text;  // the line SIGUSR1 prints
    std::uint64_t requests = 0, retries = 0, timeouts = 0;
    std::map<std::string, std::uint64_t> exceptions;  // "0B" -> answers with it
    unsigned line_busy_percent = 0;
    AnswerTimes answers;
    std::vector<StationView> stations;
    std::vector<ClientView> clients;
};

// A request as the traffic view lists it, in device names as --verbose writes it.
struct TrafficEntry {
    WallMilliseconds at = 0;
    std::string client;  // "127.0.0.1:50312", or "console" for the console's own reads
    unsigned unit = 0;
    std::string what;     // "read D100-D109"
    std::string outcome;  // "ok", "exception 0B (...): ..."
    std::int64_t milliseconds = 0;
};

struct Limits {
    std::string version;
    std::chrono::minutes trend{10};
    std::chrono::minutes keep_watching{10};
    std::size_t traffic_kept = 0;
    bool writes = false;  // --web-writes, and the gateway not --read-only
};

// The watch list as a page shows it.
struct WatchView {
    std::vector<std::string> items;
    std::chrono::milliseconds interval{};
    std::string error;  // why the list a page asked for was refused
    std::vector<std::string> notes;
    std::vector<WatchedValue> values;
    std::optional<WallMilliseconds> scanned_at;
};

// The first message to a page; `token` is the page's own, which its writes must carry.
std::string HelloMessage(const Limits& limits, const std::string& token);
std::string LineMessage(const LineView& line);
std::string TrafficMessage(std::span<const TrafficEntry> entries);
std::string WatchMessage(const WatchView& watch);
std::string TrendMessage(const TrendBuffer& trend);
std::string SampleMessage(const TrendSample& sample);
// What `text` names, as the converter and zentriq-lookup read it, a bare number as `numbers`
// says: each entry's device, table, address, decimal, reference, width and function codes, or why
// it names nothing (an ambiguous number with each reading), and how a bare number was read.
std::string LookupMessage(std::string_view text,
                          conversion::BareNumbers numbers = conversion::BareNumbers::Any);

// What a page asks: to watch items or a tag list's devices, at an interval.
struct WatchRequest {
    std::vector<std::string> items;
    std::optional<std::string> tag_list;  // the CSV text
    std::chrono::milliseconds interval{1000};
};

// The shortest and longest watch intervals: a faster scan would only fill the line's queue, a
// slower one is a page nobody watches.
inline constexpr std::chrono::milliseconds kShortestInterval{100};
inline constexpr std::chrono::milliseconds kLongestInterval{3600 * 1000};

// A page's question for the converter.
struct LookupRequest {
    std::string text;
    conversion::BareNumbers numbers = conversion::BareNumbers::Any;  // "numbers": hex, ...
};

using PageRequest = std::variant<WatchRequest, LookupRequest>;

// A page's message, or why it is none of the console's ("not JSON", "no such type: ...").
text::Result<PageRequest> ReadPageMessage(std::string_view text);

}  // namespace web
