// A program's request to stop, and the event loop its links wait on: the request ends every wait
// at once, and what a stop means (an interrupted run, a service's clean exit) stays the program's
// to say. Ctrl-C and SIGTERM request it; so may the program itself.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace transport {

class StopSignal {
  public:
    // Listens for SIGINT and SIGTERM from now on: each requests a stop, or, given `on_signal`,
    // calls it instead, for a service that winds down on its own terms (and may then request the
    // stop).
    explicit StopSignal(std::function<void()> on_signal = {});
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested() const noexcept { return requested_; }
    // Ends every wait under way now and any later one at once.
    void Request() noexcept;

    // Whether SIGUSR1 (where the system has it) asked for a report since the last call: a
    // long-running program prints what it has counted.
    bool TakeReportRequest() noexcept { return report_requested_.exchange(false); }

    // The loop the program's links wait on.
    boost::asio::io_context& context() noexcept;

  private:
    struct Loop;
    void Listen();

    std::unique_ptr<Loop> loop_;
    std::function<void()> on_signal_;
    void ListenForReports();

    std::atomic<bool> requested_{false};
    std::atomic<bool> report_requested_{false};
};

}  // namespace transport
