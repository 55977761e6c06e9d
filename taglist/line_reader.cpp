#include "taglist/line_reader.h"

#include <cstring>
#include <utility>

namespace taglist {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;

// Splits the line break off `text`, which ends in LF unless the input ended.
Line Split(std::string_view text) {
    std::size_t end = 0;
    if (text.ends_with('\n')) {
        end = text.ends_with("\r\n") ? 2 : 1;
    } else if (text.ends_with('\r')) {
        end = 1;  // the input ended on it
    }
    return {text.substr(0, text.size() - end), text.substr(text.size() - end)};
}

}  // namespace

LineReader::LineReader(Source source) : source_(std::move(source)), chunk_(kChunkSize, '\0') {}

// Reads into chunk_ from `at` to its end; how many bytes came, 0 at the end of the input.
std::size_t LineReader::ReadMore(std::size_t at) {
    if (at_end_) {
        return 0;
    }
    if (before_read_) {
        before_read_();
    }
    const std::size_t got = source_.Read(chunk_.data() + at, chunk_.size() - at);
    at_end_ = got == 0;
    return got;
}

// The rest of the chunk starts a line that the next reads finish, or the last line.
bool LineReader::NextJoined(Line& line) {
    joined_.assign(chunk_.data() + pos_, size_ - pos_);
    for (;;) {
        pos_ = 0;
        size_ = ReadMore(0);
        if (size_ == 0) {
            if (joined_.empty()) {
                return false;
            }
            break;
        }
        const auto* newline = static_cast<const char*>(std::memchr(chunk_.data(), '\n', size_));
        if (newline != nullptr) {
            pos_ = static_cast<std::size_t>(newline + 1 - chunk_.data());
            joined_.append(chunk_.data(), pos_);
            break;
        }
        joined_.append(chunk_.data(), size_);
    }
    line = Split(joined_);
    line.joined = true;
    ++line_number_;
    return true;
}

bool LineReader::Next(std::string& line) {
    Line read;
    const bool found = Next(read);
    line.assign(read.text);
    return found;
}

std::string_view LineReader::ReadAhead(const std::function<bool(std::string_view)>& enough) {
    if (pos_ > 0) {
        std::memmove(chunk_.data(), chunk_.data() + pos_, size_ - pos_);
        size_ -= pos_;
        pos_ = 0;
    }
    while (!enough({chunk_.data(), size_}) && !at_end_ && size_ < chunk_.size()) {
        size_ += ReadMore(size_);
    }
    return {chunk_.data(), size_};
}

}  // namespace taglist
