// zentriq-poll --plan: the requests a scan of the items sends and the time it should take on the
// line, shown without opening the line, so that a plan can be judged (and --reply-delay tried)
// before a controller is touched.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "poll/options.h"
#include "scan/asked_values.h"
#include "scan/scanner.h"

namespace poll {

// One line a request ("03 1064 +10  D100-D109": function, start address in hex, quantity, its
// devices), then the time: "predicted 212 ms a scan of 5 requests at 9600 7E1 ascii, reply delay
// 10 ms", or "... over TCP, 10 ms a round trip".
std::string PlanReport(const std::vector<scan::PlannedRead>& plan, std::chrono::nanoseconds time,
                       const transport::Connection& connection,
                       std::chrono::milliseconds reply_delay);

// The plan the reply delay measured on the line would give for `entries`, beside the plan in use
// (made with --reply-delay), both priced at that delay: "at the 7 ms reply delay measured the plan
// would be 4 requests, 190 ms a scan (the plan in use: 5 requests, 205 ms; --reply-delay 7 sends
// it)", or "... the plan in use is the one to send" (`delay` as scan::Scanner::MeasuredReplyDelay
// gives it). Empty without a delay measured, and over Modbus TCP, where every plan is the fewest
// requests.
std::string PlanAtMeasuredDelay(const Options& options,
                                const std::vector<conversion::MapEntry>& entries,
                                const std::vector<conversion::MapEntry>& low_words,
                                std::optional<std::chrono::milliseconds> delay);

// Writes the plan of scanning `asked` as the options say, and gives the exit status.
int ShowPlan(const Options& options, const std::vector<scan::AskedValue>& asked);

}  // namespace poll
