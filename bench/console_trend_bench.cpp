// The console's trend buffer at its largest: an hour of one-second samples for the most items
// watched, then as much again, with the process's peak RSS after each (flat once full), and what a
// page opened then is sent: the whole buffer as one message, its size and the time to make it.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "web/console.h"
#include "web/console_messages.h"
#include "web/trend_buffer.h"

namespace {

long PeakRssKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void Fill(web::TrendBuffer& trend, web::WallMilliseconds& at, int samples) {
    for (int i = 0; i < samples; ++i, at += 1000) {
        web::TrendSample sample{at, {}};
        sample.values.reserve(web::kMostWatched);
        for (std::size_t item = 0; item < web::kMostWatched; ++item) {
            sample.values.push_back(
                static_cast<double>((static_cast<std::size_t>(i) + item) % 1000) / 10.0);
        }
        trend.Add(std::move(sample));
    }
}

}  // namespace

int main() {
    const long at_start = PeakRssKib();
    web::TrendBuffer trend(std::chrono::minutes(60), web::kMostSamples);
    std::vector<std::string> series;
    for (std::size_t item = 0; item < web::kMostWatched; ++item) {
        series.push_back("D" + std::to_string(item));
    }
    trend.Reset(series);
    web::WallMilliseconds at = 1'796'925'000'000;
    Fill(trend, at, 3600);
    const long full = PeakRssKib();
    Fill(trend, at, 3600);
    const long twice = PeakRssKib();
    const auto started = std::chrono::steady_clock::now();
    const std::string message = web::TrendMessage(trend);
    const auto took = std::chrono::steady_clock::now() - started;
    std::printf(
        "  trend buffer, %zu items x 3600 one-second samples: peak RSS %ld KiB at start, "
        "%ld KiB full (%zu samples kept), %ld KiB after an hour more: ratio %.2f (1.00: "
        "flat)\n",
        web::kMostWatched, at_start, full, trend.samples().size(), twice,
        static_cast<double>(twice) / static_cast<double>(full));
    std::printf("  the whole trend sent to a page opened then: %.1f MB of JSON, made in %.0f ms\n",
                static_cast<double>(message.size()) / 1e6,
                std::chrono::duration<double, std::milli>(took).count());
    return 0;
}
