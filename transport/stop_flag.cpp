#include "transport/stop_flag.h"

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/io_context.hpp>

namespace transport {

void StopFlag::Request() noexcept {
    requested_ = true;
    io_.stop();
}

}  // namespace transport
