#include "web/trend_buffer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace web {

namespace {

// A value as the page's JavaScript reads it back: the shortest text that is the same double.
std::string NumberText(double value) {
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) {
            break;
        }
    }
    return text;
}

// A cell as CSV needs it: a series is the device as typed, which holds no comma or quote, but
// a name from a tag list may.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace

TrendBuffer::TrendBuffer(std::chrono::milliseconds window, std::size_t most_samples)
    : window_(window), most_samples_(most_samples) {}

void TrendBuffer::Reset(std::vector<std::string> series) {
    series_ = std::move(series);
    samples_.clear();
}

void TrendBuffer::Add(TrendSample sample) {
    sample.values.resize(series_.size(), std::nan(""));
    const WallMilliseconds oldest = sample.at - window_.count();
    samples_.push_back(std::move(sample));
    while (!samples_.empty() && (samples_.front().at < oldest || samples_.size() > most_samples_)) {
        samples_.pop_front();
    }
}

WallMilliseconds WallNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string UtcText(WallMilliseconds at) {
    // The calendar's own arithmetic rather than gmtime, which Windows refuses before 1970.
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds(at)};
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{time - day};
    char text[64];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string TrendCsv(const TrendBuffer& trend) {
    std::string csv = "time";
    for (const auto& series : trend.series()) {
        csv.append(",").append(CsvField(series));
    }
    csv += "\r\n";
    for (const auto& sample : trend.samples()) {
        csv += UtcText(sample.at);
        for (const double value : sample.values) {
            csv += ',';
            if (!std::isnan(value)) {
                csv += NumberText(value);
            }
        }
        csv += "\r\n";
    }
    return csv;
}

}  // namespace web
