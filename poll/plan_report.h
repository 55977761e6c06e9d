// zentriq-poll --plan: the requests a scan of the items sends and the time it should take on the
// line, shown without opening the line, so that a plan can be judged (and --reply-delay tried)
// before a controller is touched.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "poll/asked_values.h"
#include "poll/options.h"
#include "poll/scan.h"

namespace poll {

// One line a request ("03 1064 +10  D100-D109": function, start address in hex, quantity, its
// devices), then the time: "predicted 212 ms a scan of 5 requests at 9600 7E1 ascii, reply delay
// 10 ms", or "... over TCP, 10 ms a round trip".
std::string PlanReport(const std::vector<PlannedRead>& plan, std::chrono::nanoseconds time,
                       const transport::Connection& connection,
                       std::chrono::milliseconds reply_delay);

// Writes the plan of scanning `asked` as the options say, and gives the exit status.
int ShowPlan(const Options& options, const std::vector<AskedValue>& asked);

}  // namespace poll
