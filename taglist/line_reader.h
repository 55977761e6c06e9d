// Reading a tag list or capture log line by line (LF or CR LF), as UTF-8 whatever byte-order mark
// it starts with, holding one line and one chunk of input in memory. A line that lies whole in the
// chunk read is viewed where it lies; only one split between two reads is put together. A mapped
// file is viewed where it lies throughout (UTF-16 excepted, which is turned into UTF-8 as it is
// copied in).
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "taglist/input.h"
#include "taglist/utf8_source.h"

namespace taglist {

// A line as the input holds it; the views stay valid until the reader's next call.
struct Line {
    std::string_view text;  // without its line break
    // The line break that ended it: "\n", "\r\n", a CR that is the last byte of the input, or
    // nothing for a last line without one. A CR anywhere else ends no line: it is text.
    std::string_view end;
    bool joined = false;  // put together from two reads, not viewed in the chunk
};

class LineReader {
  public:
    explicit LineReader(Input input);

    // Reads the next line into `line`; false when the input has none left. A last line without a
    // line break is a line.
    bool Next(Line& line) {
        // Inline: most lines lie whole in the chunk, and a tag list is read a line at a time.
        const char* const begin = data_ + pos_;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', size_ - pos_));
        if (newline == nullptr) {
            return mapped_.extend ? NextMapped(line) : NextJoined(line);
        }
        pos_ = static_cast<std::size_t>(newline + 1 - data_);
        const bool crlf = newline > begin && newline[-1] == '\r';
        const auto length = static_cast<std::size_t>(newline - begin) - (crlf ? 1 : 0);
        line = {{begin, length}, {begin + length, crlf ? 2U : 1U}};
        ++line_number_;
        return true;
    }

    // The same, the text copied into `line`.
    bool Next(std::string& line);

    // Reads ahead without taking anything, until `enough` says the text read so far is enough, a
    // chunk is full or the input ends; gives that text, which Next then reads as lines.
    std::string_view ReadAhead(const std::function<bool(std::string_view)>& enough);

    // The number of the line that Next gave last, counting from 1.
    std::size_t line_number() const { return line_number_; }

    // Called before every read of the input, which may have to wait for it.
    void set_before_read(std::function<void()> before_read) {
        before_read_ = std::move(before_read);
    }

    bool marked_unicode() const { return encoding() != InputEncoding::Plain; }
    InputEncoding encoding() const { return mapped_.extend ? encoding_ : source_.encoding(); }

  private:
    void Map(MappedBytes mapped);
    bool NextJoined(Line& line);
    bool NextMapped(Line& line);
    bool Extend();
    std::size_t ReadMore(std::size_t at);

    Utf8Source source_;
    std::function<bool()> source_failed_;
    MappedBytes mapped_;  // set while a mapped file is viewed where it lies
    InputEncoding encoding_ = InputEncoding::Plain;  // the mapped file's
    std::function<void()> before_read_;
    // Bytes read are kept kPadding from either end of chunk_, so that reading a line 16 bytes at
    // a time from aligned blocks (MasksOf) stays inside it.
    static constexpr std::size_t kPadding = 16;
    char* Buffer() { return chunk_.data() + kPadding; }

    std::string chunk_;
    const char* data_ = nullptr;  // chunk_'s bytes, or the mapped file's after its byte-order mark
    std::size_t pos_ = 0;         // the first byte at data_ not taken yet
    std::size_t size_ = 0;        // the bytes at data_ that can be read
    std::string joined_;          // a line split between two reads, put together
    std::size_t line_number_ = 0;
    std::size_t skipped_ = 0;  // the mapped file's byte-order mark, before data_
    bool at_end_ = false;
    bool failed_ = false;  // the mapped file failed: nothing more is read
};

}  // namespace taglist
