#include "console/stop_signal.h"

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>

namespace console {

struct StopSignal::Loop {
    boost::asio::io_context io;
    transport::StopFlag flag{io};
    boost::asio::signal_set signals{io, SIGINT, SIGTERM};
    boost::asio::signal_set reports{io};
};

StopSignal::StopSignal(std::function<void()> on_signal)
    : loop_(std::make_unique<Loop>()), on_signal_(std::move(on_signal)) {
    Listen();
#ifdef SIGUSR1
    boost::system::error_code ignored;
    loop_->reports.add(SIGUSR1, ignored);
    ListenForReports();
#endif
}

void StopSignal::ListenForReports() {
    loop_->reports.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) {
            report_requested_ = true;
            ListenForReports();
        }
    });
}

void StopSignal::Listen() {
    loop_->signals.async_wait([this](const boost::system::error_code& error, int) {
        if (error) {
            return;
        }
        if (!on_signal_) {
            Request();
            return;
        }
        Listen();
        on_signal_();
    });
}

StopSignal::~StopSignal() = default;

boost::asio::io_context& StopSignal::context() noexcept {
    return loop_->io;
}

transport::StopFlag& StopSignal::flag() noexcept {
    return loop_->flag;
}

const transport::StopFlag& StopSignal::flag() const noexcept {
    return loop_->flag;
}

}  // namespace console
