// The Modbus TCP link: Boost.Asio's TCP socket. Each try carries a transaction number of its own,
// so a reply that comes late to an earlier request is told from the answer by its number. A
// connection that breaks, or whose stream can no longer be followed, is made again at the next
// try.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <vector>

#include "modbus/wire.h"
#include "transport/asio_link.h"

namespace transport {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

class TcpLink final : public AsioLink {
  public:
    TcpLink(StopSignal& stop, const Connection& connection, LogLine log)
        : AsioLink(stop, connection, std::move(log), std::make_unique<modbus::TcpFrameFinder>()),
          socket_(io_) {}

    std::optional<text::Failure> Open() override {
        StartAfresh();  // what the last connection owed cannot come on a new one
        tcp::resolver resolver(io_);
        boost::system::error_code error;
        const auto endpoints =
            resolver.resolve(connection_.host, std::to_string(connection_.tcp_port),
                             tcp::resolver::numeric_service, error);
        if (error) {
            return text::Failure{"cannot find " + connection_.host + ": " + ErrorText(error)};
        }
        const bool in_time = Await(
            [&](auto done) {
                asio::async_connect(
                    socket_, endpoints,
                    [&, done](const boost::system::error_code& e, const tcp::endpoint&) {
                        error = e;
                        done();
                    });
            },
            [&] {
                boost::system::error_code ignored;
                socket_.close(ignored);
            },
            Clock::now() + connection_.timeout);
        if (!in_time) {
            error = stop_requested() ? asio::error::operation_aborted : asio::error::timed_out;
        }
        if (error) {
            Close();
            return text::Failure{"cannot connect to " + HostText(connection_) + ": " +
                                 ErrorText(error)};
        }
        socket_.set_option(tcp::no_delay(true), error);
        finder_->Clear();
        return std::nullopt;
    }

  private:
    bool IsOpen() const override { return socket_.is_open(); }

    void Close() override {
        boost::system::error_code ignored;
        socket_.close(ignored);
        finder_->Clear();
    }

    std::string LostText(const boost::system::error_code& error) const {
        return "the connection to " + HostText(connection_) + " was lost: " + ErrorText(error);
    }

    std::optional<text::Failure> Send(std::uint8_t unit, std::span<const std::uint8_t> request,
                                      std::uint16_t transaction) override {
        Log("> " + modbus::TcpFrameText(transaction, unit, request));
        if (const auto error = WriteAll(socket_, modbus::TcpFrame(transaction, unit, request))) {
            return text::Failure{LostText(error)};
        }
        return std::nullopt;
    }

    std::size_t ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                         boost::system::error_code& error) override {
        return ReadBefore(socket_, buffer, deadline, error);
    }

    // The controller closed or reset the connection: a try of its own, connected anew.
    Attempt ReadFailed(const boost::system::error_code& error) override {
        Close();
        return {AttemptKind::Broken, std::nullopt, LostText(error), {}};
    }

    // The rest of a reply cut short would be read as the start of the next one.
    void CutShort() override {
        Log("< (a reply cut short: the connection is made again)");
        Close();
    }

    tcp::socket socket_;
};

}  // namespace

std::unique_ptr<Link> MakeTcpLink(StopSignal& stop, const Connection& connection, LogLine log) {
    return std::make_unique<TcpLink>(stop, connection, std::move(log));
}

}  // namespace transport
