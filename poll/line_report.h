// What a run tells about the line and what a time-series engine ingests: the line's counters as one
// line for --stats, and a scan's values as InfluxDB line protocol.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "scan/scanner.h"
#include "transport/link.h"

namespace poll {

// "requests 120, retries 2, timeouts 2, checksum errors 1, exceptions 02:1, answer time
// 65/67/190 ms (min/median/max), 1.9 scans/s": `scans` over `elapsed`; the answer time (from a
// try sent to its answer, its characters on the line included) left out when no answer came.
std::string StatsText(const transport::LineCounters& counters, std::uint64_t scans,
                      std::chrono::steady_clock::duration elapsed);

// The delay by which half the answers had come; none before the first answer.
std::optional<std::chrono::milliseconds> MedianDelay(const transport::LineCounters& counters);

// One line per value, measurement "dvp", tags device, table and station, the field `value` (an
// integer with its i suffix, a float as it reads back) or, for a device not read, the string
// field `error`; nanoseconds since the epoch. Blanks, commas and equals signs in tags and quotes
// in strings are escaped as the protocol asks.
std::string InfluxLines(std::span<const scan::DeviceValue> values, std::uint8_t station,
                        std::chrono::system_clock::time_point time);

}  // namespace poll
