// The bytes of a tag list or capture log as UTF-8, whatever the program that saved it chose: a
// UTF-8 byte-order mark (Excel's "CSV UTF-8") is taken off, and a file that starts with a UTF-16
// byte-order mark (Excel's "Unicode text") is turned into UTF-8 as it is read. Everything else
// passes through byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace taglist {

// Fills `buffer` with up to `size` bytes; 0 at the end of the input.
using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

enum class InputEncoding : std::uint8_t { Plain, Utf8WithBom, Utf16LittleEndian, Utf16BigEndian };

// What a byte-order mark at the start of the input says, and how many bytes it takes.
struct ByteOrderMark {
    InputEncoding encoding = InputEncoding::Plain;
    std::size_t size = 0;
};

// The mark `start` begins with; none (Plain, 0 bytes) when it begins with none. Three bytes tell
// any of them.
ByteOrderMark MarkOf(std::string_view start);

class Utf8Source {
  public:
    explicit Utf8Source(Source source);

    // Reads up to `size` bytes of UTF-8 into `buffer`; 0 at the end of the input. Never fails:
    // a lone surrogate or an odd last byte of UTF-16 becomes U+FFFD.
    std::size_t Read(char* buffer, std::size_t size);

    // What the start of the input said; known after the first Read.
    InputEncoding encoding() const { return encoding_; }

    // Whether the input was marked as Unicode by a byte-order mark, so that what is written from it
    // should carry one too for a spreadsheet to read it as UTF-8.
    bool marked_unicode() const { return encoding_ != InputEncoding::Plain; }

  private:
    std::size_t FillRaw(std::size_t wanted);
    void Sniff();
    std::size_t ReadUtf16(char* buffer, std::size_t size);

    Source source_;
    InputEncoding encoding_ = InputEncoding::Plain;
    bool sniffed_ = false;
    bool at_end_ = false;
    std::string raw_;                 // bytes read but not handed on yet
    std::size_t raw_pos_ = 0;         // the first of them
    std::uint32_t pending_high_ = 0;  // a high surrogate waiting for its low half
    std::string encoded_;             // UTF-8 made but not handed on yet
    std::size_t encoded_pos_ = 0;
};

}  // namespace taglist
