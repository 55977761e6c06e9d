// One browser connection to the console: requests read one at a time with bounds on their size
// and on the time their header takes, each checked (its Host, the method, the path) and answered
// with a file of the page, a resource made when asked, or a refusal; a request for /ws, from the
// console's own origin, becomes a page's WebSocket.
#pragma once

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <memory>
#include <optional>

#include "web/site.h"

namespace web {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    // `peer` names the browser in the log: "127.0.0.1:50312".
    HttpSession(boost::asio::ip::tcp::socket socket, std::string peer, std::shared_ptr<Site> site);

    void Start();

  private:
    // A body is read (a few kilobytes at most) only to answer its request: no page sends one.
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Response = boost::beast::http::response<boost::beast::http::string_body>;

    void Read();
    void Answer(const Request& request);
    // The answer to a request that is no WebSocket's.
    Response Reply(const Request& request) const;
    void Send(Response response);
    // A page's write: handed to the console, answered when the line has done it.
    void Write(const Request& request);
    void Close();

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    std::string peer_;
    Seat seat_;
};

}  // namespace web
