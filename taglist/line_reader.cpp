#include "taglist/line_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace taglist {

namespace {

constexpr std::size_t kChunkSize = 1 << 16;

// Bytes enough to tell any byte-order mark.
constexpr std::size_t kLongestMark = 3;

// A mapped file copied in as a source is: for UTF-16, which is turned into UTF-8 on the way.
// `failed` is set when the file failed rather than ended.
Source CopiedFrom(MappedBytes mapped, std::size_t readable, std::shared_ptr<bool> failed) {
    return [mapped = std::move(mapped), readable, failed = std::move(failed), at = std::size_t{0}](
               char* buffer, std::size_t size) mutable -> std::size_t {
        if (at == readable && !*failed && !mapped.extend(readable)) {
            *failed = true;
        }
        const std::size_t n = *failed ? 0 : std::min(size, readable - at);
        std::memcpy(buffer, mapped.data + at, n);
        at += n;
        return n;
    };
}

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

LineReader::LineReader(Input input)
    : source_(std::move(input.source)),
      source_failed_(std::move(input.failed)),
      chunk_(kChunkSize + 2 * kPadding, '\0'),
      data_(Buffer()) {
    if (input.mapped.extend) {
        Map(std::move(input.mapped));
    }
}

// Views the mapped file from its first line on, unless it is UTF-16.
void LineReader::Map(MappedBytes mapped) {
    // Enough to tell a byte-order mark, unless the file is shorter.
    std::size_t readable = 0;
    for (std::size_t before = SIZE_MAX;
         !failed_ && readable < kLongestMark && readable != before;) {
        before = readable;
        failed_ = !mapped.extend(readable);
    }
    const std::string_view start(mapped.data, failed_ ? 0 : readable);
    const auto mark = MarkOf(start);
    if (mark.encoding == InputEncoding::Utf16LittleEndian ||
        mark.encoding == InputEncoding::Utf16BigEndian) {
        auto failed = std::make_shared<bool>(failed_);
        source_failed_ = [failed] { return *failed; };
        source_ = Utf8Source(CopiedFrom(std::move(mapped), readable, std::move(failed)));
        return;
    }
    encoding_ = mark.encoding;
    skipped_ = mark.size;
    data_ = mapped.data + skipped_;
    size_ = start.size() - std::min(skipped_, start.size());
    mapped_ = std::move(mapped);
}

// Takes the next stretch of the mapped file; false at its end, or when it failed.
bool LineReader::Extend() {
    std::size_t readable = skipped_ + size_;
    if (failed_ || !mapped_.extend(readable)) {
        failed_ = true;
        return false;
    }
    if (readable <= skipped_ + size_) {
        return false;
    }
    size_ = readable - skipped_;
    return true;
}

// A line that runs past the stretch viewed so far, or the last line, viewed where it lies.
bool LineReader::NextMapped(Line& line) {
    const std::size_t begin = pos_;
    for (std::size_t searched = size_; Extend(); searched = size_) {
        if (const auto* newline =
                static_cast<const char*>(std::memchr(data_ + searched, '\n', size_ - searched))) {
            pos_ = static_cast<std::size_t>(newline + 1 - data_);
            line = Split({data_ + begin, pos_ - begin});
            ++line_number_;
            return true;
        }
    }
    pos_ = size_;
    if (failed_ || begin == size_) {
        return false;
    }
    line = Split({data_ + begin, size_ - begin});
    ++line_number_;
    return true;
}

// Reads into chunk_ from `at` to its end; how many bytes came, 0 at the end of the input.
std::size_t LineReader::ReadMore(std::size_t at) {
    if (at_end_) {
        return 0;
    }
    if (before_read_) {
        before_read_();
    }
    const std::size_t got = source_.Read(Buffer() + at, kChunkSize - at);
    at_end_ = got == 0;
    return got;
}

// The rest of the chunk starts a line that the next reads finish, or the last line.
bool LineReader::NextJoined(Line& line) {
    joined_.assign(Buffer() + pos_, size_ - pos_);
    for (;;) {
        pos_ = 0;
        size_ = ReadMore(0);
        if (size_ == 0) {
            if (joined_.empty() || (source_failed_ && source_failed_())) {
                return false;
            }
            break;
        }
        const auto* newline = static_cast<const char*>(std::memchr(Buffer(), '\n', size_));
        if (newline != nullptr) {
            pos_ = static_cast<std::size_t>(newline + 1 - Buffer());
            joined_.append(Buffer(), pos_);
            break;
        }
        joined_.append(Buffer(), size_);
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
    if (mapped_.extend) {
        while (!enough({data_ + pos_, size_ - pos_}) && size_ - pos_ < kChunkSize && Extend()) {
        }
        return {data_ + pos_, size_ - pos_};
    }
    if (pos_ > 0) {
        std::memmove(Buffer(), Buffer() + pos_, size_ - pos_);
        size_ -= pos_;
        pos_ = 0;
    }
    while (!enough({Buffer(), size_}) && !at_end_ && size_ < kChunkSize) {
        size_ += ReadMore(size_);
    }
    return {Buffer(), size_};
}

}  // namespace taglist
