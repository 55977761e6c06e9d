#include "poll/line_report.h"

#include <cstdio>

#include "poll/report.h"
#include "scan/value_text.h"

namespace poll {

namespace {

// A tag's value: blanks, commas and equals signs escaped with a backslash.
void AppendTag(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '=' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
}

// A string field's value: in quotes, quotes and backslashes escaped.
void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c == '\n' || c == '\r' ? ' ' : c;
    }
    out += '"';
}

bool IsInteger(std::string_view text) {
    const std::size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > first && text.find_first_not_of("0123456789", first) == std::string::npos;
}

}  // namespace

std::optional<std::chrono::milliseconds> MedianDelay(const transport::LineCounters& counters) {
    std::uint64_t answers = 0;
    for (const auto& [ms, count] : counters.delays) {
        answers += count;
    }
    std::uint64_t seen = 0;
    for (const auto& [ms, count] : counters.delays) {
        seen += count;
        if (2 * seen >= answers) {
            return std::chrono::milliseconds(ms);
        }
    }
    return std::nullopt;
}

std::string StatsText(const transport::LineCounters& counters, std::uint64_t scans,
                      std::chrono::steady_clock::duration elapsed) {
    std::string text = "requests " + std::to_string(counters.requests) + ", retries " +
                       std::to_string(counters.retries) + ", timeouts " +
                       std::to_string(counters.timeouts) + ", bad replies " +
                       std::to_string(counters.broken) + ", cut replies " +
                       std::to_string(counters.cut) + ", exceptions";
    bool any = false;
    for (std::size_t code = 0; code < counters.exceptions.size(); ++code) {
        if (counters.exceptions[code] != 0) {
            char head[8];
            std::snprintf(head, sizeof head, " %02X:", static_cast<unsigned>(code));
            text.append(head).append(std::to_string(counters.exceptions[code]));
            any = true;
        }
    }
    if (!any) {
        text += " none";
    }
    if (const auto median = MedianDelay(counters)) {
        text.append(", answer time ")
            .append(std::to_string(counters.delays.begin()->first))
            .append("/")
            .append(std::to_string(median->count()))
            .append("/")
            .append(std::to_string(counters.delays.rbegin()->first))
            .append(" ms (min/median/max)");
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (scans > 0 && seconds > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.1f scans/s", static_cast<double>(scans) / seconds);
        text += rate;
    }
    return text;
}

std::string InfluxLines(std::span<const scan::DeviceValue> values, std::uint8_t station,
                        std::chrono::system_clock::time_point time) {
    const auto nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    const std::string when = std::to_string(nanoseconds);
    std::string out;
    for (const auto& device : values) {
        const auto cells = ScanRows(std::span(&device, 1)).back();
        out += "dvp,device=";
        AppendTag(out, cells[0]);
        out += ",table=";
        AppendTag(out, cells[1]);
        out += ",station=" + std::to_string(station) + " ";
        const std::string value = scan::ValueText(device);
        if (!device.value || value.empty()) {
            out += "error=";
            AppendQuoted(out, device.error.empty() ? "no value" : device.error);
        } else if (IsInteger(value)) {
            out += "value=" + value + "i";
        } else if (value.rfind("0x", 0) == 0) {
            // A 32-bit counter's raw word: its number, as its packing is not established.
            out += "value=" + std::to_string(*device.value) + "i";
        } else if (value == "nan" || value == "inf" || value == "-inf") {
            out += "error=";
            AppendQuoted(out, "not a finite number: " + value);
        } else {
            out += "value=" + value;
        }
        out += " " + when + "\n";
    }
    return out;
}

}  // namespace poll
