#include "gateway/client_connection.h"

#include <boost/asio/write.hpp>

namespace gateway {

namespace {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

// Requests read and answers unsent that one connection may hold before it is no longer read
// from: enough for a client that sends a scan's requests at once, little enough that a client
// that never reads its answers costs nothing.
constexpr std::size_t kMostHeld = 16;

}  // namespace

ClientConnection::ClientConnection(asio::ip::tcp::socket socket, ClientId id, std::string peer,
                                   ConnectionEvents& events, Clock::duration idle_timeout)
    : socket_(std::move(socket)),
      silence_timer_(socket_.get_executor()),
      id_(id),
      peer_(std::move(peer)),
      events_(events),
      idle_timeout_(idle_timeout),
      last_traffic_(Clock::now()) {}

void ClientConnection::Start() {
    boost::system::error_code ignored;
    // Answers go out as soon as they are written, not held back to join later ones.
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    Read();
    WatchSilence();
}

bool ClientConnection::MayRead() const noexcept {
    return !closed_ && !reading_ && close_when_answered_.empty() &&
           unanswered_ + unsent_.size() < kMostHeld;
}

void ClientConnection::Read() {
    if (!MayRead()) {
        return;
    }
    reading_ = true;
    socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](
                                                       const boost::system::error_code& error,
                                                       std::size_t got) {
        self->reading_ = false;
        if (self->closed_) {
            return;
        }
        if (error) {
            self->Close(error == asio::error::eof ? "the client closed the connection"
                                                  : "the connection failed: " + error.message());
            return;
        }
        self->Touched();
        self->finder_.Add(std::span(self->buffer_).first(got));
        while (auto frame = self->finder_.Next()) {
            if (!frame->fault.empty()) {
                self->Close(frame->fault);
                return;
            }
            ++self->unanswered_;
            self->events_.Requested(self->id_, std::move(*frame));
            if (self->closed_) {
                return;
            }
        }
        self->Read();
    });
}

void ClientConnection::Answer(std::vector<std::uint8_t> frame) {
    if (closed_) {
        return;
    }
    if (unanswered_ > 0) {
        --unanswered_;
    }
    ++answered_;
    unsent_.push_back(std::move(frame));
    Write();
}

void ClientConnection::Write() {
    if (writing_ || closed_ || unsent_.empty()) {
        return;
    }
    writing_ = true;
    asio::async_write(
        socket_, asio::buffer(unsent_.front()),
        [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
            self->writing_ = false;
            if (self->closed_) {
                return;
            }
            if (error) {
                self->Close("the connection failed: " + error.message());
                return;
            }
            self->Touched();
            self->unsent_.pop_front();
            if (!self->close_when_answered_.empty() && self->unsent_.empty() &&
                self->unanswered_ == 0) {
                self->Close(self->close_when_answered_);
                return;
            }
            self->Write();
            self->Read();
        });
}

void ClientConnection::CloseWhenAnswered(const std::string& reason) {
    close_when_answered_ = reason;
    if (unanswered_ == 0 && unsent_.empty() && !writing_) {
        Close(reason);
    }
}

void ClientConnection::WatchSilence() {
    if (closed_ || idle_timeout_ == Clock::duration::zero()) {
        return;
    }
    silence_timer_.expires_at(last_traffic_ + idle_timeout_);
    silence_timer_.async_wait([self = shared_from_this()](const boost::system::error_code& error) {
        if (error || self->closed_) {
            return;
        }
        // A client whose answer is still on its way is waiting for the line, not idle.
        const bool waiting_for_line = self->unanswered_ > 0 && self->unsent_.empty();
        if (!waiting_for_line && Clock::now() >= self->last_traffic_ + self->idle_timeout_) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(self->idle_timeout_).count();
            self->Close("idle for " + std::to_string(seconds) + " s");
            return;
        }
        if (waiting_for_line) {
            self->Touched();
        }
        self->WatchSilence();
    });
}

void ClientConnection::Close(const std::string& reason) {
    if (closed_) {
        return;
    }
    closed_ = true;
    boost::system::error_code ignored;
    silence_timer_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    unsent_.clear();
    events_.Closed(id_, peer_, reason);
}

}  // namespace gateway
