// A request to stop, seen at once by every wait of the links on one loop. Whoever owns the loop
// owns the flag: a program's signals, a service winding down, a test, a window closing. Nothing
// here listens for signals.
#pragma once

#include <atomic>

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace transport {

class StopFlag {
  public:
    // The flag of the links that wait on `io`.
    explicit StopFlag(boost::asio::io_context& io) noexcept : io_(io) {}
    StopFlag(const StopFlag&) = delete;
    StopFlag& operator=(const StopFlag&) = delete;

    bool requested() const noexcept { return requested_; }
    // Ends every wait under way on the loop now, and any later one at once.
    void Request() noexcept;

  private:
    boost::asio::io_context& io_;
    std::atomic<bool> requested_{false};
};

}  // namespace transport
