#include "poll/plan_report.h"

#include "scan/read_plan.h"

#include <algorithm>
#include <cstdio>

#include "console/program.h"
#include "modbus/frame_mode.h"
#include "scan/read_plan.h"

namespace poll {

namespace {

// "212 ms"; below 10 ms with a tenth, which a fast line's scans need.
std::string Milliseconds(std::chrono::nanoseconds time) {
    const double ms = std::chrono::duration<double, std::milli>(time).count();
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.1f ms" : "%.0f ms", ms);
    return text;
}

}  // namespace

std::string PlanReport(const std::vector<scan::PlannedRead>& plan, std::chrono::nanoseconds time,
                       const transport::Connection& connection,
                       std::chrono::milliseconds reply_delay) {
    std::size_t widest = 0;
    for (const auto& read : plan) {
        widest = std::max(widest, std::to_string(read.request.quantity).size());
    }
    std::string text;
    for (const auto& [request, devices] : plan) {
        char head[32];
        std::snprintf(head, sizeof head, "%02X %04X +%-*u  ",
                      static_cast<unsigned>(request.function), request.start,
                      static_cast<int>(widest), request.quantity);
        text += head;
        text += devices;
        text += '\n';
    }
    const std::string delay = std::to_string(reply_delay.count()) + " ms";
    text += "predicted " + Milliseconds(time) + " a scan of " + std::to_string(plan.size()) +
            (plan.size() == 1 ? " request" : " requests");
    text += transport::ModbusTcpFrames(connection)
                ? " over TCP, " + delay + " a round trip\n"
                : " at " + std::to_string(connection.baud) + " " +
                      transport::LineText(connection.line) + " " +
                      std::string(modbus::ModeName(connection.mode)) +
                      (connection.tcp ? " behind the device server (its settings assumed)" : "") +
                      ", reply delay " + delay + "\n";
    return text;
}

std::string PlanAtMeasuredDelay(const Options& options,
                                const std::vector<conversion::MapEntry>& entries,
                                const std::vector<conversion::MapEntry>& low_words,
                                std::optional<std::chrono::milliseconds> delay) {
    if (!delay || entries.empty() || transport::ModbusTcpFrames(options.connection)) {
        return {};
    }
    const auto in_use =
        scan::PlanReads(entries, LineCostFor(options.connection, options.reply_delay), low_words);
    const modbus::LineCost cost = LineCostFor(options.connection, *delay);
    const auto best = scan::PlanReads(entries, cost, low_words);
    const auto ms = [](std::chrono::nanoseconds time) {
        return std::to_string(std::chrono::round<std::chrono::milliseconds>(time).count()) + " ms";
    };
    const auto requests = [](std::size_t count) {
        return std::to_string(count) + (count == 1 ? " request" : " requests");
    };
    std::string text =
        "at the " + std::to_string(delay->count()) + " ms reply delay measured the plan ";
    if (best == in_use) {
        return text + "in use is the one to send: " + requests(best.size()) + ", " +
               ms(scan::PlanTime(best, cost)) + " a scan";
    }
    return text + "would be " + requests(best.size()) + ", " + ms(scan::PlanTime(best, cost)) +
           " a scan (the plan in use: " + requests(in_use.size()) + ", " +
           ms(scan::PlanTime(in_use, cost)) + "; --reply-delay " + std::to_string(delay->count()) +
           " sends it)";
}

int ShowPlan(const Options& options, const std::vector<scan::AskedValue>& asked) {
    const console::Messages messages("zentriq-poll");
    const modbus::LineCost cost = LineCostFor(options.connection, options.reply_delay);
    const scan::Scanner scanner(scan::EntriesToRead(asked), cost, scan::LowWordsOf(asked));
    const auto plan = scanner.PlannedReads();
    std::vector<modbus::ReadRequest> requests;
    requests.reserve(plan.size());
    for (const auto& read : plan) {
        requests.push_back(read.request);
    }
    console::Output output;
    output.Write(
        PlanReport(plan, scan::PlanTime(requests, cost), options.connection, options.reply_delay));
    return output.Finish(console::kExitDone, messages);
}

}  // namespace poll
