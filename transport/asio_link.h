// What the serial and the TCP links share: waits on the program's Boost.Asio context, each with a
// deadline and ended by a stop; the tries of a request; the one loop that reads a reply through
// the transport's frame finder and matches it to its request; the replies a line still owes; and
// a request in a serial line's framing, sent on a port or through a serial device server. Each
// transport says only how a try is sent and how bytes are read.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <memory>
#include <vector>

#include "modbus/wire.h"
#include "transport/error_text.h"
#include "transport/link.h"
#include "transport/owed_replies.h"
#include "transport/stop_flag.h"

namespace transport {

using Clock = std::chrono::steady_clock;

enum class AttemptKind {
    Answered,  // the reply that answers the request
    // A frame that arrived whole but is no answer (a checksum, another station, a reply to another
    // request): the station's turn is over, so it pays the reply owed; ask again at once.
    Broken,
    Cut,       // a frame that stopped short: ask again at once, the rest perhaps still owed
    TimedOut,  // the time ran out; `message` says what came instead, if anything did
    Lost,      // the port or connection failed: it is opened again at the next request
};

struct Attempt {
    AttemptKind kind = AttemptKind::TimedOut;
    std::optional<modbus::Reply> reply;
    std::string message;
    std::vector<std::uint8_t> pdu;  // the answer as it came
};

class AsioLink : public Link {
  public:
    Outcome Transact(std::span<const std::uint8_t> request) final;
    Outcome TransactWith(std::uint8_t station, std::span<const std::uint8_t> request) final;
    Outcome TransactOnce(std::uint8_t station, std::span<const std::uint8_t> request) final;
    std::optional<std::chrono::milliseconds> Settle() final;
    void Pause(std::chrono::milliseconds time) final;

  protected:
    AsioLink(boost::asio::io_context& io, const StopFlag& stop, const Connection& connection,
             LogLine log, std::unique_ptr<modbus::FrameFinder> finder);

    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Sends try number `number` of `request` to `station` (over TCP, its transaction): none, or
    // why the line failed.
    virtual std::optional<text::Failure> Send(std::uint8_t station,
                                              std::span<const std::uint8_t> request,
                                              std::uint16_t number) = 0;
    // Reads what arrives before `deadline` into `buffer` (see ReadBefore).
    virtual std::size_t ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                                 boost::system::error_code& error) = 0;
    // The read failed: what that try amounts to.
    virtual Attempt ReadFailed(const boost::system::error_code& error) = 0;
    // The time ran out in the middle of a frame: says so, and gives up the stream where it
    // cannot be followed past it.
    virtual void CutShort() = 0;

    // Forgets the replies owed and what the finder holds: a port opened anew owes nothing.
    void StartAfresh() noexcept;

    // Starts one asynchronous operation with `start(done)` (its handler calls done()), then runs
    // the context until it completes, `deadline` passes or a stop comes; in the last two cases it
    // is cancelled with `cancel()` and its handler waited for. True when it completed in time.
    template <class Start, class Cancel>
    bool Await(Start&& start, Cancel&& cancel, Clock::time_point deadline) {
        bool done = false;
        start([&done] { done = true; });
        io_.restart();
        // What is ready already runs even when the deadline is now: bytes waiting in a port's
        // buffer are found without waiting at all.
        io_.poll();
        while (!done && !stop_.requested() && Clock::now() < deadline) {
            io_.run_one_until(deadline);
        }
        if (done) {
            return true;
        }
        cancel();
        io_.restart();
        while (!done) {
            io_.run_one();
        }
        return false;
    }

    // Reads what arrives before `deadline` into `buffer`: the number of bytes, 0 when none came.
    // `error` is set when the line failed (closed, unplugged), never for the time running out.
    template <class Stream>
    std::size_t ReadBefore(Stream& stream, std::span<std::uint8_t> buffer,
                           Clock::time_point deadline, boost::system::error_code& error) {
        std::size_t got = 0;
        error = {};
        Await(
            [&](auto done) {
                stream.async_read_some(
                    boost::asio::buffer(buffer.data(), buffer.size()),
                    [&, done](const boost::system::error_code& e, std::size_t n) {
                        error = e;
                        got = n;
                        done();
                    });
            },
            [&] {
                boost::system::error_code ignored;
                stream.cancel(ignored);
            },
            deadline);
        if (error == boost::asio::error::operation_aborted) {
            error = {};
        }
        return got;
    }

    // Writes all of `bytes` within one timeout; gives the failure, or a timed_out error.
    template <class Stream>
    boost::system::error_code WriteAll(Stream& stream, std::span<const std::uint8_t> bytes) {
        boost::system::error_code error;
        const bool in_time = Await(
            [&](auto done) {
                boost::asio::async_write(
                    stream, boost::asio::buffer(bytes.data(), bytes.size()),
                    [&, done](const boost::system::error_code& e, std::size_t) {
                        error = e;
                        done();
                    });
            },
            [&] {
                boost::system::error_code ignored;
                stream.cancel(ignored);
            },
            Clock::now() + connection_.timeout);
        if (!in_time && (!error || error == boost::asio::error::operation_aborted)) {
            error = boost::asio::error::timed_out;
        }
        return error;
    }

    // Waits until `until`, or less when the program asks to stop.
    void WaitUntil(Clock::time_point until);

    // Bytes already waiting are no answer to what is about to be sent: a late reply, line noise.
    void DropPending();

    // `request` to `station` in the connection's serial framing (ASCII or RTU), logged as sent.
    std::vector<std::uint8_t> SerialFrame(std::uint8_t station,
                                          std::span<const std::uint8_t> request) const;

    void Log(std::string_view line) const;
    bool stop_requested() const noexcept { return stop_.requested(); }

    const Connection connection_;
    boost::asio::io_context& io_;
    const std::unique_ptr<modbus::FrameFinder> finder_;
    // The silence that ends a frame, where one does (RTU).
    Clock::duration silence_{};

  private:
    // Reads until a frame from `station` answers `request` or `deadline` passes.
    Attempt Collect(std::uint8_t station, std::span<const std::uint8_t> request,
                    Clock::time_point deadline);
    // Whether a frame from the line is the answer to `request`: from `station`, to one of this
    // request's tries, and a reply that answers this request. Otherwise what it is instead, kept in
    // `problem`.
    std::optional<modbus::Reply> AnswerFrom(std::uint8_t station,
                                            std::span<const std::uint8_t> request,
                                            const modbus::WireFrame& frame,
                                            std::string& problem) const;
    // Bytes came from the line, whatever they are; `answering`: after a request was sent, rather
    // than left over from before it.
    void Heard(bool answering) noexcept;
    // Waits until the line has been quiet for quiet_before_ since its last byte.
    void KeepQuiet();
    // Waits until the line owes no reply (see OwedReplies); gives the longest delay of the owed
    // replies that came meanwhile.
    std::optional<Clock::duration> WaitOutOwed();
    Outcome Failed(std::string message, LineState line, unsigned tries) const;
    // An answer came `delay` after the try it pays: counted, an exception by its code.
    void Counted(const modbus::Reply& reply, Clock::duration delay);
    // A request to `station` with `retries` tries after the first.
    Outcome Exchange(std::uint8_t station, std::span<const std::uint8_t> request, unsigned retries);

    // Whether `frame` answers one of this request's tries rather than an earlier request's: over
    // Modbus TCP by its transaction; a serial frame carries none, so always.
    bool OfThisRequest(const modbus::WireFrame& frame) const;
    // Whether `frame` is `request` itself as sent to `station`: an adapter that echoes what it
    // sends.
    static bool IsEcho(std::uint8_t station, std::span<const std::uint8_t> request,
                       const modbus::WireFrame& frame);

    const StopFlag& stop_;
    LogLine log_;
    OwedReplies owed_;
    std::vector<std::uint8_t> owed_request_;  // the request the owed replies answer
    std::uint8_t owed_station_ = 0;           // and the station it went to
    std::uint64_t bytes_heard_ = 0;           // reads that brought bytes, ever
    Clock::time_point last_byte_{};           // when the line last carried a byte, either way
    // How long the line is kept quiet before a request: in RTU the 3.5 characters that end the
    // frame before it (a station that reads frames by that silence would otherwise take the
    // request as the reply's tail), and at least the connection's pause.
    Clock::duration quiet_before_{};
    std::uint16_t try_number_ = 0;        // the last try's
    std::uint16_t first_try_number_ = 0;  // the first try's of the request under way
};

std::unique_ptr<Link> MakeSerialLink(boost::asio::io_context& io, const StopFlag& stop,
                                     const Connection& connection, LogLine log);
std::unique_ptr<Link> MakeTcpLink(boost::asio::io_context& io, const StopFlag& stop,
                                  const Connection& connection, LogLine log);
std::unique_ptr<Link> MakeSerialOverTcpLink(boost::asio::io_context& io, const StopFlag& stop,
                                            const Connection& connection, LogLine log);

}  // namespace transport
