#include "transport/tcp_connection_link.h"

#include <boost/asio/connect.hpp>

namespace transport {

namespace asio = boost::asio;
using asio::ip::tcp;

TcpConnectionLink::TcpConnectionLink(boost::asio::io_context& io, const StopFlag& stop,
                                     const Connection& connection, LogLine log,
                                     std::unique_ptr<modbus::FrameFinder> finder)
    : AsioLink(io, stop, connection, std::move(log), std::move(finder)), socket_(io_) {}

std::optional<text::Failure> TcpConnectionLink::Open() {
    StartAfresh();  // what the last connection owed cannot come on a new one
    tcp::resolver resolver(io_);
    boost::system::error_code error;
    const auto endpoints = resolver.resolve(connection_.host, std::to_string(connection_.tcp_port),
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

void TcpConnectionLink::Close() {
    boost::system::error_code ignored;
    socket_.close(ignored);
    finder_->Clear();
}

std::string TcpConnectionLink::LostText(const boost::system::error_code& error) const {
    return "the connection to " + HostText(connection_) + " was lost: " + ErrorText(error);
}

std::optional<text::Failure> TcpConnectionLink::Write(std::span<const std::uint8_t> frame) {
    if (const auto error = WriteAll(socket_, frame)) {
        return text::Failure{LostText(error)};
    }
    return std::nullopt;
}

std::size_t TcpConnectionLink::ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                                        boost::system::error_code& error) {
    return ReadBefore(socket_, buffer, deadline, error);
}

Attempt TcpConnectionLink::ReadFailed(const boost::system::error_code& error) {
    Close();
    return {AttemptKind::Broken, std::nullopt, LostText(error), {}};
}

}  // namespace transport
