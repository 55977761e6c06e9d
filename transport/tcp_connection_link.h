// What every link over a TCP connection shares, whatever frames it carries: finding the host and
// connecting within the timeout, reading, and a connection that breaks being made again at the
// next try. The links on top say only how a request is framed and what a reply cut short costs.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <memory>
#include <string>

#include "transport/asio_link.h"

namespace transport {

class TcpConnectionLink : public AsioLink {
  public:
    // Connects to the connection's host within its timeout: none, or why not ("cannot connect to
    // 192.168.1.5:502: Connection refused").
    std::optional<text::Failure> Open() final;

  protected:
    TcpConnectionLink(boost::asio::io_context& io, const StopFlag& stop,
                      const Connection& connection, LogLine log,
                      std::unique_ptr<modbus::FrameFinder> finder);

    bool IsOpen() const final { return socket_.is_open(); }
    void Close() final;
    std::size_t ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                         boost::system::error_code& error) final;
    // The host closed or reset the connection: a try of its own, connected anew.
    Attempt ReadFailed(const boost::system::error_code& error) final;

    // Writes a framed request: none, or the connection lost.
    std::optional<text::Failure> Write(std::span<const std::uint8_t> frame);

  private:
    std::string LostText(const boost::system::error_code& error) const;

    boost::asio::ip::tcp::socket socket_;
};

}  // namespace transport
