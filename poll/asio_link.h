// What the serial and the TCP link share: one Boost.Asio context whose every wait has a deadline
// and ends on Ctrl-C, the tries of a request, and the replies a serial line still owes. Each
// transport says how a try is sent and how its reply is found.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <memory>
#include <vector>

#include "conversion/owed_replies.h"
#include "modbus/wire.h"
#include "poll/link.h"

namespace live {

using Clock = std::chrono::steady_clock;

enum class AttemptKind {
    Answered,  // the reply that answers the request
    Broken,    // a reply that cannot be sound (checksum, truncated): ask again at once
    TimedOut,  // the time ran out; `problem` says what came instead, if anything did
    Lost,      // the port or connection failed: it is opened again at the next request
};

struct Attempt {
    AttemptKind kind = AttemptKind::TimedOut;
    std::optional<modbus::Reply> reply;
    std::string problem;
};

class AsioLink : public Link {
  public:
    Outcome Transact(std::span<const std::uint8_t> request) final;
    std::optional<std::chrono::milliseconds> Settle() final;
    void Pause(std::chrono::milliseconds time) final;

  protected:
    AsioLink(const Connection& connection, LogLine log);

    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Sends one try of `request` (`first_try`: the request's first): empty, or why the line
    // failed.
    virtual std::string Send(std::span<const std::uint8_t> request, bool first_try) = 0;
    // Reads until a frame answers `request` or `deadline` passes, calling Heard() for the bytes
    // that come.
    virtual Attempt Collect(std::span<const std::uint8_t> request, Clock::time_point deadline) = 0;

    // Bytes came from the line, whatever they are; `answering`: after a request was sent, rather
    // than left over from before it.
    void Heard(bool answering) noexcept;
    // Forgets the replies owed: a port opened anew starts owing nothing.
    void ForgiveOwed() noexcept { owed_.Forgive(); }

    // Runs the context until `done` is set, `deadline` passes or Ctrl-C comes; gives `done`.
    bool RunUntil(const bool& done, Clock::time_point deadline);
    // After a cancel: runs the context until the cancelled operation's handler has run.
    void Finish(const bool& done);

    // Reads what arrives before `deadline` into `buffer`: the number of bytes, 0 when none came.
    // `error` is set when the line failed (closed, unplugged), never for the time running out.
    // `answering`: what comes may answer a request sent (see Heard).
    template <class Stream>
    std::size_t ReadBefore(Stream& stream, std::span<std::uint8_t> buffer,
                           Clock::time_point deadline, boost::system::error_code& error,
                           bool answering = true) {
        bool done = false;
        std::size_t got = 0;
        error = {};
        stream.async_read_some(boost::asio::buffer(buffer.data(), buffer.size()),
                               [&](const boost::system::error_code& e, std::size_t n) {
                                   error = e;
                                   got = n;
                                   done = true;
                               });
        io_.restart();
        if (!RunUntil(done, deadline)) {
            boost::system::error_code ignored;
            stream.cancel(ignored);
            Finish(done);
        }
        if (error == boost::asio::error::operation_aborted) {
            error = {};
        }
        if (got > 0) {
            Heard(answering);
        }
        return got;
    }

    // Writes all of `bytes` within one timeout; gives the failure, or a timed_out error.
    template <class Stream>
    boost::system::error_code WriteAll(Stream& stream, std::span<const std::uint8_t> bytes) {
        bool done = false;
        boost::system::error_code error;
        boost::asio::async_write(stream, boost::asio::buffer(bytes.data(), bytes.size()),
                                 [&](const boost::system::error_code& e, std::size_t) {
                                     error = e;
                                     done = true;
                                 });
        io_.restart();
        if (!RunUntil(done, Clock::now() + connection_.timeout)) {
            boost::system::error_code ignored;
            stream.cancel(ignored);
            Finish(done);
            if (!error || error == boost::asio::error::operation_aborted) {
                error = boost::asio::error::timed_out;
            }
        }
        return error;
    }

    // Whether a frame from the line is the answer to `request`: from our station, and a reply
    // that answers this request. Otherwise what it is instead, kept in `problem`.
    std::optional<modbus::Reply> AnswerFrom(std::span<const std::uint8_t> request,
                                            const modbus::WireFrame& frame,
                                            std::string& problem) const;

    void Log(std::string_view line) const;
    std::string TriesText() const;
    static std::string ErrorText(const boost::system::error_code& error);

    const Connection connection_;
    LogLine log_;
    boost::asio::io_context io_;

  private:
    // Waits until the line owes no reply (see OwedReplies); gives the longest delay of the owed
    // replies that came meanwhile.
    std::optional<Clock::duration> WaitOutOwed();
    Outcome Failed(std::string failure, LineState line) const;

    boost::asio::signal_set signals_;
    conversion::OwedReplies owed_;
    std::vector<std::uint8_t> owed_request_;  // the request the owed replies answer
    std::uint64_t bytes_heard_ = 0;           // reads that brought bytes, ever
};

std::unique_ptr<Link> MakeSerialLink(const Connection& connection, LogLine log);
std::unique_ptr<Link> MakeTcpLink(const Connection& connection, LogLine log);

}  // namespace live
