// Reading a capture log line by line (LF or CR LF), as UTF-8 whatever byte-order mark it starts
// with, holding one line and one chunk of input in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "taglist/utf8_source.h"

namespace taglist {

class LineReader {
  public:
    explicit LineReader(Source source);

    // Reads the next line, without its line break, into `line`; false when the input has none
    // left. A last line without a line break is a line.
    bool Next(std::string& line);

    // The number of the line that Next gave last, counting from 1.
    std::size_t line_number() const { return line_number_; }

    // Called before every read of the input, which may have to wait for it.
    void set_before_read(std::function<void()> before_read) {
        before_read_ = std::move(before_read);
    }

  private:
    Utf8Source source_;
    std::function<void()> before_read_;
    std::string chunk_;
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    std::size_t line_number_ = 0;
    bool at_end_ = false;
};

}  // namespace taglist
