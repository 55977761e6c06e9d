// A command-line program's loop and its signals: Ctrl-C and SIGTERM request a stop of the links on
// the loop (or call the program's own handler, for a service that winds down on its terms), and
// SIGUSR1 asks for a report. The links know nothing of signals; they are given the loop and the
// flag.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "transport/stop_flag.h"

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace console {

class StopSignal {
  public:
    // Listens for SIGINT and SIGTERM from now on: each requests a stop, or, given `on_signal`,
    // calls it instead (which may then request the stop).
    explicit StopSignal(std::function<void()> on_signal = {});
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // What a signal calls from now on instead of requesting the stop.
    void OnSignal(std::function<void()> on_signal) { on_signal_ = std::move(on_signal); }

    bool requested() const noexcept { return flag().requested(); }
    void Request() noexcept { flag().Request(); }

    // Whether SIGUSR1 (where the system has it) asked for a report since the last call: a
    // long-running program prints what it has counted.
    bool TakeReportRequest() noexcept { return report_requested_.exchange(false); }

    // The loop the program's links wait on, and their stop flag.
    boost::asio::io_context& context() noexcept;
    transport::StopFlag& flag() noexcept;
    const transport::StopFlag& flag() const noexcept;

  private:
    struct Loop;
    void Listen();
    void ListenForReports();

    std::unique_ptr<Loop> loop_;
    std::function<void()> on_signal_;
    std::atomic<bool> report_requested_{false};
};

}  // namespace console
