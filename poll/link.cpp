#include "poll/link.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/steady_timer.hpp>

#include "poll/asio_link.h"

namespace live {

namespace {

std::atomic<bool> g_interrupted{false};

}  // namespace

bool Interrupted() noexcept {
    return g_interrupted;
}

AsioLink::AsioLink(const Connection& connection, LogLine log)
    : connection_(connection), log_(std::move(log)), signals_(io_, SIGINT, SIGTERM) {
    // Ctrl-C stops whatever wait is under way; the caller writes out what was read and ends.
    signals_.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) {
            g_interrupted = true;
            io_.stop();
        }
    });
}

void AsioLink::Log(std::string_view line) const {
    if (connection_.verbose && log_) {
        log_(line);
    }
}

bool AsioLink::RunUntil(const bool& done, Clock::time_point deadline) {
    // What is ready already runs even when the deadline is now: bytes waiting in a port's buffer
    // are found without waiting at all.
    io_.poll();
    while (!done && !g_interrupted && Clock::now() < deadline) {
        io_.run_one_until(deadline);
    }
    return done;
}

void AsioLink::Finish(const bool& done) {
    io_.restart();
    while (!done) {
        io_.run_one();
    }
}

void AsioLink::Pause(std::chrono::milliseconds time) {
    boost::asio::steady_timer timer(io_, time);
    bool done = false;
    timer.async_wait([&done](const boost::system::error_code&) { done = true; });
    io_.restart();
    if (!RunUntil(done, Clock::now() + time + std::chrono::seconds(1))) {
        timer.cancel();
        Finish(done);
    }
}

std::optional<conversion::Reply> AsioLink::Answer(std::span<const std::uint8_t> request,
                                                  const conversion::WireFrame& frame,
                                                  std::string& problem) const {
    if (frame.slave != connection_.slave) {
        const char* station = connection_.tcp ? "unit " : "slave ";
        problem = std::string("a reply from ") + station + std::to_string(frame.slave) + ", not " +
                  station + std::to_string(connection_.slave);
        return std::nullopt;
    }
    auto reply = conversion::ReadReply(request, frame.pdu);
    if (reply.kind == conversion::ReplyKind::Unrelated) {
        problem = reply.problem;
        return std::nullopt;
    }
    return reply;
}

std::string AsioLink::TriesText() const {
    const unsigned tries = connection_.retries + 1;
    return std::to_string(tries) + (tries == 1 ? " try" : " tries");
}

Outcome AsioLink::Transact(std::span<const std::uint8_t> request) {
    std::string problem;  // what came instead of a sound answer, at the last try
    bool timed_out = false;
    for (unsigned attempt = 0; attempt <= connection_.retries; ++attempt) {
        if (g_interrupted) {
            return {std::nullopt, "interrupted"};
        }
        if (!IsOpen()) {
            if (auto failure = Open(); !failure.empty()) {
                return {std::nullopt, std::move(failure)};
            }
        }
        Attempt attempt_result = Try(request);
        switch (attempt_result.kind) {
            case AttemptKind::Answered:
                if (timed_out) {
                    // A reply that came late to an earlier try may still be on its way: it must
                    // not be read as the answer to the next request.
                    DiscardLateReplies();
                }
                return {std::move(attempt_result.reply), {}};
            case AttemptKind::Lost:
                Close();
                return {std::nullopt, std::move(attempt_result.problem)};
            case AttemptKind::TimedOut:
                timed_out = true;
                [[fallthrough]];
            case AttemptKind::Broken:
                if (!attempt_result.problem.empty()) {
                    problem = std::move(attempt_result.problem);
                }
                break;
        }
    }
    if (g_interrupted) {
        return {std::nullopt, "interrupted"};
    }
    if (problem.empty()) {
        return {std::nullopt, "no answer within " + std::to_string(connection_.timeout.count()) +
                                  " ms after " + TriesText()};
    }
    return {std::nullopt, "no sound answer after " + TriesText() + ": " + problem};
}

std::string AsioLink::ErrorText(const boost::system::error_code& error) {
    std::string text = error.message();
    // Windows' messages end in a full stop and a line break; ours are one line, built on.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

std::unique_ptr<Link> MakeLink(const Connection& connection, LogLine log) {
    if (connection.tcp) {
        return MakeTcpLink(connection, std::move(log));
    }
    return MakeSerialLink(connection, std::move(log));
}

}  // namespace live
