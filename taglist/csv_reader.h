// Reading a tag list as CSV records (RFC 4180: quoted fields, doubled quotes, separators and line
// breaks inside quotes, CRLF or LF), one record at a time, so that memory holds one record and one
// chunk of input whatever the size of the list. Lists come as spreadsheets and HMI tools write
// them: comma, semicolon or tab between fields (found from the first record), UTF-8 with or without
// a byte-order mark, or UTF-16.
//
// Three layers: Utf8Source gives the bytes as UTF-8, LineReader cuts them into lines, and this
// reader puts lines together into records (a quoted field may hold line breaks) and splits them
// into fields. The quoting rules live in the last layer alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "taglist/line_reader.h"
#include "taglist/utf8_source.h"

namespace taglist {

// A record read; the views stay valid until the reader's next call.
struct CsvRecord {
    std::string_view raw;   // the record as it stands in the input, without its line break
    std::string_view item;  // the wanted column, unquoted
    bool has_item = false;  // the record has that column
    bool unclosed_quote = false;
    bool blank = false;      // nothing but separators, spaces and tabs (or nothing at all)
    std::size_t fields = 0;  // how many fields the record has (see set_enough_fields)
    std::size_t line = 0;    // the line the record starts on, counting from 1

    // Where a record that cannot be viewed in place in the input (quoted, or split between two
    // chunks of it) is put together.
    std::string raw_storage;
    std::string item_storage;
};

class CsvReader {
  public:
    using Source = taglist::Source;

    // Asks the reader to find the separator in the first record.
    static constexpr char kFindDelimiter = '\0';

    // `column` counts from 0.
    CsvReader(Input input, std::size_t column, char delimiter = kFindDelimiter);

    // Reads the next record into `record`; false when the input has none left. Never fails: bytes
    // of any value are data, and a quote still open at the end of the input ends the record there
    // with `unclosed_quote` set.
    bool Next(CsvRecord& record);

    // Takes the item from another column from the next record on (a column named in the header).
    void set_column(std::size_t column) { column_ = column; }

    // Stops counting a record's fields once it has `enough` and its item: a row that is not short
    // need not be counted to its end.
    void set_enough_fields(std::size_t enough) { enough_fields_ = enough; }

    // Called before every read of the input, which may have to wait for it: the moment to hand on
    // what has been answered so far.
    void set_before_read(std::function<void()> before_read) {
        lines_.set_before_read(std::move(before_read));
    }

    // The separator between fields: as given, or the one of comma, semicolon and tab that stands
    // most often outside quotes in the first record that is not blank (comma on a tie or when none
    // does). Known after the first Next.
    char delimiter() const { return delimiter_; }

    // Whether the input began with a byte-order mark (UTF-8 or UTF-16).
    bool marked_unicode() const { return lines_.marked_unicode(); }
    InputEncoding encoding() const { return lines_.encoding(); }

  private:
    void FindDelimiter();
    // Splits a line at every separator up to the last field wanted, as a record without quotes;
    // false (and nothing set) when a quote stands before that field begins, or the record goes on
    // past the line. The line lies in the reader's chunk or a mapped file (see MasksOf).
    bool SplitPlain(std::string_view line, std::size_t last_field, CsvRecord& record) const;
    void ReadQuoted(Line line, std::size_t last_field, CsvRecord& record);

    LineReader lines_;
    std::size_t column_;
    std::size_t enough_fields_ = SIZE_MAX;
    char delimiter_ = kFindDelimiter;
};

// The fields of one record as `raw` holds it, unquoted as Next reads them.
std::vector<std::string> SplitFields(std::string_view raw, char delimiter);

}  // namespace taglist
