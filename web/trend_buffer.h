// The last minutes of every watched value, for the console's trends: one sample per scan, each
// with a value per item (NaN where the item had none), kept for a window of time and never beyond
// a number of samples, so that memory is bounded whatever the interval and however long it runs.
//
// Pure bookkeeping: nothing here waits or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace web {

// Milliseconds since the epoch: what the page's clock and chart take.
using WallMilliseconds = std::int64_t;

struct TrendSample {
    WallMilliseconds at = 0;
    std::vector<double> values;  // one per series, NaN where there was none
};

class TrendBuffer {
  public:
    // Keeps `window` of samples, at most `most_samples` of them.
    TrendBuffer(std::chrono::milliseconds window, std::size_t most_samples);

    // Starts again with these series: what was kept belongs to another list.
    void Reset(std::vector<std::string> series);
    // Adds a sample (its values in the order of the series) and forgets what fell out of the
    // window before `sample.at`, or beyond the most samples.
    void Add(TrendSample sample);

    const std::vector<std::string>& series() const noexcept { return series_; }
    const std::deque<TrendSample>& samples() const noexcept { return samples_; }
    std::chrono::milliseconds window() const noexcept { return window_; }
    std::size_t most_samples() const noexcept { return most_samples_; }

  private:
    std::chrono::milliseconds window_;
    std::size_t most_samples_;
    std::vector<std::string> series_;
    std::deque<TrendSample> samples_;
};

// The buffer as CSV: "time,D100,D200:f32", then a row per sample, its time in UTC
// ("2026-12-10T17:03:04.123Z"), a value written as JSON would, an empty cell where there was none.
std::string TrendCsv(const TrendBuffer& trend);

// The time now as the page takes it.
WallMilliseconds WallNow();

// "2026-12-10T17:03:04.123Z".
std::string UtcText(WallMilliseconds at);

}  // namespace web
