// A page's WebSocket: the console's messages queued and written in order, the page's messages read
// and handed to the console. A page that stops reading is closed once its queue holds more than a
// few megabytes, so it never holds the gateway's memory; one that stops answering pings is closed
// too.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <deque>
#include <memory>
#include <string>

#include "web/site.h"

namespace web {

class PageSocket : public std::enable_shared_from_this<PageSocket> {
  public:
    PageSocket(boost::beast::tcp_stream stream, std::shared_ptr<Site> site);

    // Completes the WebSocket handshake `request` began.
    void Start(const boost::beast::http::request<boost::beast::http::string_body>& request);
    // Queues `message` for the page.
    void Send(std::shared_ptr<const std::string> message);
    void Close();

    // What the page's writes must carry: given in its first message, so only a page that holds
    // this socket knows it.
    const std::string& token() const noexcept { return token_; }

  private:
    void Read();
    void Write();

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    boost::beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queued_bytes_ = 0;
    bool open_ = false;  // the handshake is done
    bool writing_ = false;
    bool closed_ = false;
    std::string token_;
    Seat seat_;
};

}  // namespace web
