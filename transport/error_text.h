// The system's words for a failure, as one line our messages build on.
#pragma once

#include <boost/system/error_code.hpp>
#include <string>

namespace transport {

inline std::string ErrorText(const boost::system::error_code& error) {
    std::string text = error.message();
    // Windows' messages end in a full stop and a line break; ours are one line, built on.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

}  // namespace transport
