#include "web/page_socket.h"

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket/stream_base.hpp>
#include <cstdio>
#include <random>

namespace web {

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

// A page's own messages are small but for a dropped tag list.
constexpr std::size_t kLongestMessage = std::size_t{2} * 1024 * 1024;
// What may wait for a page beyond the message being written: a page that reads nothing falls this
// far behind and is closed.
constexpr std::size_t kMostQueued = std::size_t{4} * 1024 * 1024;

// A page's token: 128 random bits, which a page elsewhere cannot guess.
std::string NewToken() {
    std::random_device random;
    std::string token;
    for (int i = 0; i < 8; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04x", random() & 0xFFFFU);
        token += digits;
    }
    return token;
}

}  // namespace

PageSocket::PageSocket(beast::tcp_stream stream, std::shared_ptr<Site> site)
    : socket_(std::move(stream)), token_(NewToken()), seat_(std::move(site)) {}

void PageSocket::Start(const beast::http::request<beast::http::string_body>& request) {
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    // A page that answers no ping for this long is gone: its connection is closed.
    timeouts.idle_timeout = std::chrono::seconds(30);
    timeouts.keep_alive_pings = true;
    socket_.set_option(timeouts);
    socket_.read_message_max(kLongestMessage);
    socket_.text(true);
    seat_.site().closers[seat_.id()] = [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->Close();
        }
    };
    socket_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
        Site& site = self->seat_.site();
        if (error || site.closed) {
            self->Close();
            return;
        }
        self->open_ = true;
        site.pages[self->seat_.id()] = self;
        site.page_opened(*self);
        self->Read();
        self->Write();
    });
}

void PageSocket::Send(std::shared_ptr<const std::string> message) {
    if (closed_) {
        return;
    }
    if (!queue_.empty() && queued_bytes_ + message->size() > kMostQueued) {
        seat_.site().log("a console page that reads nothing is closed");
        Close();
        return;
    }
    queued_bytes_ += message->size();
    queue_.push_back(std::move(message));
    Write();
}

void PageSocket::Read() {
    socket_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
        Site& site = self->seat_.site();
        if (error || site.closed) {
            self->Close();
            return;
        }
        const std::string text = beast::buffers_to_string(self->buffer_.data());
        self->buffer_.consume(self->buffer_.size());
        site.page_said(*self, text);
        self->Read();
    });
}

void PageSocket::Write() {
    if (!open_ || writing_ || closed_ || queue_.empty()) {
        return;
    }
    writing_ = true;
    socket_.async_write(boost::asio::buffer(*queue_.front()),
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                            self->writing_ = false;
                            // What is queued stays until the socket is gone: a write under way
                            // still reads the message at the front.
                            if (error || self->closed_) {
                                self->Close();
                                return;
                            }
                            self->queued_bytes_ -= self->queue_.front()->size();
                            self->queue_.pop_front();
                            self->Write();
                        });
}

void PageSocket::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    seat_.site().pages.erase(seat_.id());
    // Closed at once rather than with a closing handshake: a page that reads nothing would never
    // finish one.
    beast::error_code ignored;
    auto& socket = beast::get_lowest_layer(socket_).socket();
    socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

}  // namespace web
