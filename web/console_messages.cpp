#include "web/console_messages.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "conversion/device_map.h"

namespace web {

namespace {

using Json = nlohmann::ordered_json;

// On one line; a text that is no UTF-8 (a tag list's stray byte) sent with U+FFFD rather than
// failing the whole message.
std::string Text(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A number as JSON has it, null for none and for what no JSON number can be (a float that is
// infinite or not a number).
Json NumberOrNull(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

template <typename Duration>
Json MillisecondsOrNull(const std::optional<Duration>& time) {
    return time ? Json(std::chrono::duration_cast<std::chrono::milliseconds>(*time).count())
                : Json(nullptr);
}

std::int64_t Percentile(const std::map<std::int64_t, std::uint64_t>& times, std::uint64_t count,
                        double share) {
    const auto rank = static_cast<std::uint64_t>(std::ceil(share * static_cast<double>(count)));
    std::uint64_t seen = 0;
    for (const auto& [milliseconds, answers] : times) {
        seen += answers;
        if (seen >= rank) {
            return milliseconds;
        }
    }
    return times.empty() ? 0 : times.rbegin()->first;
}

}  // namespace

AnswerTimes AnswerTimesOf(const std::map<std::int64_t, std::uint64_t>& milliseconds) {
    AnswerTimes times;
    for (const auto& entry : milliseconds) {
        times.count += entry.second;
    }
    if (times.count == 0) {
        return times;
    }
    times.p50 = Percentile(milliseconds, times.count, 0.50);
    times.p90 = Percentile(milliseconds, times.count, 0.90);
    times.p99 = Percentile(milliseconds, times.count, 0.99);
    times.max = milliseconds.rbegin()->first;
    return times;
}

std::string HelloMessage(const Limits& limits, const std::string& token) {
    return Text({{"type", "hello"},
                 {"version", limits.version},
                 {"trend_minutes", limits.trend.count()},
                 {"keep_watching_minutes", limits.keep_watching.count()},
                 {"most_items", kMostWatched},
                 {"traffic_kept", limits.traffic_kept},
                 {"writes", limits.writes},
                 {"read_only", !limits.writes},
                 {"token", token}});
}

std::string LineMessage(const LineView& line) {
    Json exceptions = Json::object();
    for (const auto& [code, count] : line.exceptions) {
        exceptions[code] = count;
    }
    Json stations = Json::array();
    for (const auto& station : line.stations) {
        stations.push_back({{"station", station.station},
                            {"answering", station.answering},
                            {"problem", station.problem},
                            {"probe_in_ms", MillisecondsOrNull(station.probe_in)}});
    }
    Json clients = Json::array();
    for (const auto& client : line.clients) {
        clients.push_back({{"peer", client.peer},
                           {"requests", client.requests},
                           {"connected_s", client.connected.count()}});
    }
    const auto& answers = line.answers;
    return Text({{"type", "line"},
                 {"connection", line.connection},
                 {"up", line.up},
                 {"problem", line.problem},
                 {"uptime_s", line.uptime.count()},
                 {"counters_text", line.counters_text},
                 {"requests", line.requests},
                 {"retries", line.retries},
                 {"timeouts", line.timeouts},
                 {"exceptions", std::move(exceptions)},
                 {"line_busy_percent", line.line_busy_percent},
                 {"answer_ms",
                  {{"count", answers.count},
                   {"p50", answers.p50},
                   {"p90", answers.p90},
                   {"p99", answers.p99},
                   {"max", answers.max}}},
                 {"stations", std::move(stations)},
                 {"clients", std::move(clients)}});
}

std::string TrafficMessage(std::span<const TrafficEntry> entries) {
    Json list = Json::array();
    for (const auto& entry : entries) {
        list.push_back({{"at", UtcText(entry.at)},
                        {"client", entry.client},
                        {"unit", entry.unit},
                        {"what", entry.what},
                        {"outcome", entry.outcome},
                        {"ms", entry.milliseconds}});
    }
    return Text({{"type", "traffic"}, {"entries", std::move(list)}});
}

std::string WatchMessage(const WatchView& watch) {
    Json values = Json::array();
    for (const auto& value : watch.values) {
        values.push_back({{"device", value.device},
                          {"name", value.name},
                          {"table", value.table},
                          {"address", value.address},
                          {"reference", value.reference},
                          {"value", value.value},
                          {"hex", value.hex},
                          {"note", value.note},
                          {"error", value.error},
                          {"age_ms", MillisecondsOrNull(value.age)}});
    }
    return Text(
        {{"type", "watch"},
         {"items", watch.items},
         {"interval_ms", watch.interval.count()},
         {"error", watch.error},
         {"notes", watch.notes},
         {"values", std::move(values)},
         {"scanned_at", watch.scanned_at ? Json(UtcText(*watch.scanned_at)) : Json(nullptr)}});
}

std::string TrendMessage(const TrendBuffer& trend) {
    Json times = Json::array();
    Json series_values = Json::array();
    for (std::size_t i = 0; i < trend.series().size(); ++i) {
        series_values.push_back(Json::array());
    }
    for (const auto& sample : trend.samples()) {
        times.push_back(sample.at);
        for (std::size_t i = 0; i < series_values.size(); ++i) {
            series_values[i].push_back(NumberOrNull(sample.values[i]));
        }
    }
    return Text({{"type", "trend"},
                 {"series", trend.series()},
                 {"t", std::move(times)},
                 {"values", std::move(series_values)}});
}

std::string SampleMessage(const TrendSample& sample) {
    Json values = Json::array();
    for (const double value : sample.values) {
        values.push_back(NumberOrNull(value));
    }
    return Text({{"type", "sample"}, {"t", sample.at}, {"values", std::move(values)}});
}

std::string LookupMessage(std::string_view text, conversion::BareNumbers numbers) {
    const auto found = conversion::LookUp(text, std::nullopt, numbers);
    std::string error = found.ok() ? std::string() : found.message;
    // The page's own way to say how a number is meant, where the command line's is named.
    if (const auto option = error.find("(--numbers)"); option != std::string::npos) {
        error.replace(option, 11, "(Numbers, beside the box)");
    }
    Json entries = Json::array();
    for (const auto& entry : found.found()) {
        const auto codes = [](std::span<const std::uint8_t> list) {
            Json array = Json::array();
            for (const auto code : list) {
                array.push_back(code);
            }
            return array;
        };
        entries.push_back({{"device", conversion::DeviceName(entry.device)},
                           {"table", conversion::TableName(entry.table)},
                           {"address", conversion::AddressText(entry.address)},
                           {"decimal", entry.address},
                           {"reference", ReferenceText(entry.table, entry.address)},
                           {"width", conversion::WidthName(entry.width)},
                           {"read", codes(conversion::ReadCodes(entry.table))},
                           {"write", codes(conversion::WriteCodes(entry.table))}});
    }
    return Text({{"type", "lookup"},
                 {"text", std::string(text)},
                 {"error", error},
                 {"note", conversion::ReadingNote(text, found, std::nullopt, numbers)},
                 {"entries", std::move(entries)}});
}

text::Result<PageRequest> ReadPageMessage(std::string_view text) {
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return text::Failure{"a message that is no JSON object"};
    }
    const auto type = json.find("type");
    if (type == json.end() || !type->is_string()) {
        return text::Failure{"a message without a type"};
    }
    WatchRequest request;
    if (const auto interval = json.find("interval_ms"); interval != json.end()) {
        if (!interval->is_number()) {
            return text::Failure{"interval_ms is no number"};
        }
        const auto milliseconds = interval->get<double>();
        if (!(milliseconds >= static_cast<double>(kShortestInterval.count()) &&
              milliseconds <= static_cast<double>(kLongestInterval.count()))) {
            return text::Failure{"the interval is 0.1 s at least and an hour at most"};
        }
        request.interval = std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds));
    }
    const auto& kind = type->get_ref<const std::string&>();
    if (kind == "lookup") {
        const auto asked = json.find("text");
        if (asked == json.end() || !asked->is_string()) {
            return text::Failure{"a lookup message without its text"};
        }
        LookupRequest lookup{asked->get<std::string>()};
        if (const auto numbers = json.find("numbers"); numbers != json.end()) {
            const auto word = numbers->is_string() ? numbers->get<std::string>() : std::string();
            const auto named =
                std::find_if(conversion::kNumbersWords.begin(), conversion::kNumbersWords.end(),
                             [&](const auto& entry) { return entry.word == word; });
            if (named != conversion::kNumbersWords.end()) {
                lookup.numbers = named->numbers;
            } else if (word != "any") {
                return text::Failure{"numbers is any, hex, decimal or reference"};
            }
        }
        return PageRequest{std::move(lookup)};
    }
    if (kind == "watch") {
        const auto items = json.find("items");
        if (items == json.end() || !items->is_array()) {
            return text::Failure{"a watch message without its items"};
        }
        for (const auto& item : *items) {
            if (!item.is_string()) {
                return text::Failure{"an item that is no text"};
            }
            request.items.push_back(item.get<std::string>());
        }
        return PageRequest{std::move(request)};
    }
    if (kind == "taglist") {
        const auto list = json.find("text");
        if (list == json.end() || !list->is_string()) {
            return text::Failure{"a tag list message without its text"};
        }
        request.tag_list = list->get<std::string>();
        return PageRequest{std::move(request)};
    }
    return text::Failure{"no such message: " + kind};
}

}  // namespace web
