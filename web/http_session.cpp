#include "web/http_session.h"

#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "web/assets.h"
#include "web/page_socket.h"

namespace web {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;

// A request's header must come whole within this time and size: a client that sends it a byte at
// a time, or sends kilobytes of it, holds a connection no longer and no more memory than this.
constexpr auto kHeaderTime = std::chrono::seconds(10);
constexpr std::uint32_t kMostHeader = 8 * 1024;
// A browser keeps its connection for the next request; an idle one is closed after this.
constexpr auto kIdleTime = std::chrono::seconds(30);

std::string_view View(beast::string_view text) {
    return {text.data(), text.size()};
}

beast::string_view BeastView(std::string_view text) {
    return {text.data(), text.size()};
}

// Headers on every answer: the page runs only its own scripts and is never framed by another
// site's page.
void Secure(http::response<http::string_body>& response) {
    response.set(http::field::server, "zentriq-gateway");
    response.set(http::field::cache_control, "no-cache");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("X-Frame-Options", "DENY");
    response.set("Content-Security-Policy",
                 "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
                 "style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
}

http::response<http::string_body> Refusal(http::status status, unsigned version, std::string why) {
    http::response<http::string_body> response{status, version};
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.body() = std::move(why) + "\n";
    return response;
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, std::string peer,
                         std::shared_ptr<Site> site)
    : stream_(std::move(socket)),
      buffer_(kMostHeader + 1024),
      peer_(std::move(peer)),
      seat_(std::move(site)) {}

void HttpSession::Start() {
    seat_.site().closers[seat_.id()] = [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->Close();
        }
    };
    Read();
}

void HttpSession::Read() {
    parser_.emplace();
    parser_->header_limit(kMostHeader);
    parser_->body_limit(kMostHeader);
    stream_.expires_after(kHeaderTime);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         if (error || self->seat_.site().closed) {
                             // Garbage, a header too big or too slow, or the browser gone: the
                             // connection ends with nothing more said.
                             self->Close();
                             return;
                         }
                         self->Answer(self->parser_->get());
                     });
}

void HttpSession::Answer(const Request& request) {
    Site& site = seat_.site();
    if (!HostAllowed(site.address, View(request[http::field::host]))) {
        Send(Refusal(http::status::misdirected_request, request.version(),
                     "This console answers to its own address only (see --web-host)."));
        return;
    }
    if (site.credentials &&
        !Authorized(*site.credentials, View(request[http::field::authorization]))) {
        auto refusal = Refusal(http::status::unauthorized, request.version(),
                               "This console asks for a user and a password.");
        refusal.set(http::field::www_authenticate,
                    R"(Basic realm="ZENTRIQ console", charset="UTF-8")");
        Send(std::move(refusal));
        return;
    }
    if (request.target() == "/write" && request.method() == http::verb::post) {
        Write(request);
        return;
    }
    if (request.target() == "/ws" && beast::websocket::is_upgrade(request)) {
        if (!OriginAllowed(View(request[http::field::origin]), View(request[http::field::host]))) {
            Send(Refusal(http::status::forbidden, request.version(),
                         "A WebSocket is opened for the console's own page only."));
            return;
        }
        if (site.pages.size() >= kMostPages) {
            Send(Refusal(http::status::service_unavailable, request.version(),
                         "Too many pages open on this console."));
            return;
        }
        stream_.expires_never();
        auto page = std::make_shared<PageSocket>(std::move(stream_), seat_.shared());
        page->Start(request);
        return;
    }
    Send(Reply(request));
}

HttpSession::Response HttpSession::Reply(const Request& request) const {
    const auto method = request.method();
    if (method != http::verb::get && method != http::verb::head) {
        auto refusal = Refusal(http::status::method_not_allowed, request.version(),
                               "The console's pages are read with GET.");
        refusal.set(http::field::allow, "GET, HEAD");
        return refusal;
    }
    std::string_view target = View(request.target());
    target = target.substr(0, target.find('?'));
    Response response{http::status::ok, request.version()};
    if (const Asset* asset = FindAsset(target)) {
        response.set(http::field::content_type, BeastView(asset->type));
        response.body().assign(asset->body);
    } else if (auto made = seat_.site().made(target)) {
        response.set(http::field::content_type, made->first);
        response.body() = std::move(made->second);
    } else {
        return Refusal(http::status::not_found, request.version(), "No such page.");
    }
    response.keep_alive(request.keep_alive());
    return response;
}

void HttpSession::Send(Response response) {
    Secure(response);
    if (response.result() != http::status::ok) {
        response.keep_alive(false);
    }
    const bool head = parser_->get().method() == http::verb::head;
    response.prepare_payload();
    if (head) {
        response.body().clear();
    }
    auto shared = std::make_shared<Response>(std::move(response));
    stream_.expires_after(kIdleTime);
    http::async_write(stream_, *shared,
                      [self = shared_from_this(), shared](beast::error_code error, std::size_t) {
                          if (error || !shared->keep_alive() || self->seat_.site().closed) {
                              self->Close();
                              return;
                          }
                          self->Read();
                      });
}

void HttpSession::Write(const Request& request) {
    const auto version = request.version();
    const auto answer = [self = shared_from_this(), version](unsigned status, std::string body) {
        Response response{static_cast<http::status>(status), version};
        response.set(http::field::content_type, "application/json");
        response.body() = std::move(body);
        self->Send(std::move(response));
    };
    // A write is a page's own: another site's page could make the browser post one, but not with
    // this origin, and not with the token only the console's own page was given.
    if (!OriginAllowed(View(request[http::field::origin]), View(request[http::field::host]))) {
        answer(403, R"({"error":"A write comes from the console's own page only."})");
        return;
    }
    seat_.site().write({request.body(), std::string(View(request["X-Zentriq-Token"])), peer_},
                       answer);
}

void HttpSession::Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
}

}  // namespace web
