// Reading a tag list as CSV records (RFC 4180: quoted fields, doubled quotes, commas and line
// breaks inside quotes, CRLF or LF), one record at a time, so that memory holds one record and one
// chunk of input whatever the size of the list.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lookup {

// A record read; the views stay valid until the reader's next call.
struct CsvRecord {
    std::string_view raw;   // the record as it stands in the input, without its line break
    std::string_view item;  // the wanted column, unquoted
    bool has_item = false;  // the record has that column
    bool unclosed_quote = false;
    std::size_t line = 0;  // the line the record starts on, counting from 1

    // Where a record that cannot be viewed in place in the input (quoted, or split between two
    // chunks of it) is put together.
    std::string raw_storage;
    std::string item_storage;
};

class CsvReader {
  public:
    // Fills `buffer` with up to `size` bytes; 0 at the end of the input.
    using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

    // `column` counts from 0.
    CsvReader(Source source, std::size_t column);

    // Reads the next record into `record`; false when the input has none left. Never fails: bytes
    // of any value are data, and a quote still open at the end of the input ends the record there
    // with `unclosed_quote` set.
    bool Next(CsvRecord& record);

  private:
    bool Refill();
    bool NextPlainLine(CsvRecord& record);
    bool NextAnyRecord(CsvRecord& record);

    Source source_;
    std::size_t column_;
    std::string buffer_;
    std::string_view chunk_;  // what the last read put into buffer_
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    bool at_end_ = false;
};

}  // namespace lookup
