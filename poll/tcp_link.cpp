// The Modbus TCP link: Boost.Asio's TCP socket. Each request carries a transaction number of its
// own, so a reply that comes late to an earlier request is told from the answer by its number. A
// connection that breaks, or whose stream can no longer be followed, is made again at the next
// request.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <vector>

#include "modbus/wire.h"
#include "poll/asio_link.h"

namespace live {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

class TcpLink final : public AsioLink {
  public:
    TcpLink(const Connection& connection, LogLine log)
        : AsioLink(connection, std::move(log)), socket_(io_) {}

    std::string Open() override {
        ForgiveOwed();  // what the last connection owed cannot come on a new one
        const std::string where = HostText(connection_);
        tcp::resolver resolver(io_);
        boost::system::error_code error;
        const auto endpoints =
            resolver.resolve(connection_.host, std::to_string(connection_.tcp_port),
                             tcp::resolver::numeric_service, error);
        if (error) {
            return "cannot find " + connection_.host + ": " + ErrorText(error);
        }
        bool done = false;
        asio::async_connect(socket_, endpoints,
                            [&](const boost::system::error_code& e, const tcp::endpoint&) {
                                error = e;
                                done = true;
                            });
        io_.restart();
        if (!RunUntil(done, Clock::now() + connection_.timeout)) {
            boost::system::error_code ignored;
            socket_.close(ignored);
            Finish(done);
            error = Interrupted() ? asio::error::operation_aborted : asio::error::timed_out;
        }
        if (error) {
            Close();
            return "cannot connect to " + where + ": " + ErrorText(error);
        }
        socket_.set_option(tcp::no_delay(true), error);
        finder_.Clear();
        return {};
    }

  private:
    bool IsOpen() const override { return socket_.is_open(); }

    void Close() override {
        boost::system::error_code ignored;
        socket_.close(ignored);
        finder_.Clear();
    }

    std::string LostText(const boost::system::error_code& error) const {
        return "the connection to " + HostText(connection_) + " was lost: " + ErrorText(error);
    }

    std::string Send(std::span<const std::uint8_t> request, bool first_try) override {
        const std::uint16_t transaction = ++transaction_;
        if (first_try) {
            first_transaction_ = transaction;
        }
        Log("> " + modbus::TcpFrameText(transaction, connection_.slave, request));
        if (const auto error =
                WriteAll(socket_, modbus::TcpFrame(transaction, connection_.slave, request))) {
            return LostText(error);
        }
        return {};
    }

    // Late replies carry their own transaction numbers: one to an earlier try of this request
    // answers it as well as the last try's would, one to an earlier request is skipped.
    Attempt Collect(std::span<const std::uint8_t> request, Clock::time_point deadline) override {
        std::string problem;
        std::vector<std::uint8_t> buffer(1024);
        while (true) {
            boost::system::error_code error;
            const std::size_t got = ReadBefore(socket_, buffer, deadline, error);
            if (error) {
                // The controller closed or reset the connection: a try of its own, connected anew.
                Close();
                return {AttemptKind::Broken, std::nullopt, LostText(error)};
            }
            if (got == 0) {
                if (finder_.partial()) {
                    // The rest of a reply cut short would be read as the start of the next one.
                    Log("< (a reply cut short: the connection is made again)");
                    Close();
                    problem = "a reply cut short";
                }
                return {AttemptKind::TimedOut, std::nullopt, std::move(problem)};
            }
            finder_.Add(std::span(buffer).first(got));
            while (auto frame = finder_.Next()) {
                Log("< " + frame->text + (frame->fault.empty() ? "" : "  (" + frame->fault + ")"));
                if (finder_.lost()) {
                    Close();
                    return {AttemptKind::Broken, std::nullopt, frame->fault};
                }
                if (auto reply = Answer(request, *frame, problem)) {
                    return {AttemptKind::Answered, std::move(reply), {}};
                }
                Log("  (" + problem + ": not the answer)");
            }
        }
    }

    std::optional<modbus::Reply> Answer(std::span<const std::uint8_t> request,
                                        const modbus::WireFrame& frame,
                                        std::string& problem) const {
        // Transaction numbers wrap: the tries of this request are the last few before it.
        const auto since_first = static_cast<std::uint16_t>(frame.transaction - first_transaction_);
        const auto tries_sent = static_cast<std::uint16_t>(transaction_ - first_transaction_);
        if (since_first > tries_sent) {
            problem = "a reply to transaction " + std::to_string(frame.transaction) +
                      ", not to transaction " + std::to_string(first_transaction_) +
                      (tries_sent == 0 ? "" : "-" + std::to_string(transaction_));
            return std::nullopt;
        }
        return AnswerFrom(request, frame, problem);
    }

    tcp::socket socket_;
    modbus::TcpFrameFinder finder_;
    std::uint16_t transaction_ = 0;        // the last try's
    std::uint16_t first_transaction_ = 0;  // the first try's of the request under way
};

}  // namespace

std::unique_ptr<Link> MakeTcpLink(const Connection& connection, LogLine log) {
    return std::make_unique<TcpLink>(connection, std::move(log));
}

}  // namespace live
