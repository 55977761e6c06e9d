#include "taglist/line_reader.h"

#include <cstring>
#include <utility>

namespace taglist {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;

}  // namespace

LineReader::LineReader(Source source) : source_(std::move(source)), chunk_(kChunkSize, '\0') {}

bool LineReader::Next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == size_) {
            if (at_end_) {
                break;
            }
            if (before_read_) {
                before_read_();
            }
            size_ = source_.Read(chunk_.data(), chunk_.size());
            pos_ = 0;
            at_end_ = size_ == 0;
            continue;
        }
        any = true;
        const char* begin = chunk_.data() + pos_;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', size_ - pos_));
        if (newline == nullptr) {
            line.append(begin, size_ - pos_);
            pos_ = size_;
            continue;
        }
        line.append(begin, newline);
        pos_ = static_cast<std::size_t>(newline - chunk_.data()) + 1;
        break;
    }
    if (!any) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    ++line_number_;
    return true;
}

}  // namespace taglist
