// A tag list read row by row as both programs read it: the columns found once (by number, or by
// name in the header), then each row with its device, name, type and unit cells and the row as it
// stands in the file, for a program to answer beside it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "taglist/csv_reader.h"
#include "text/failure.h"

namespace taglist {

// Where a tag list's columns are: each a number from 1 or, with a header, a name. The name, type
// and unit columns may be left out (empty): the device then names its tag, each value has its
// default type and no unit.
struct TagColumns {
    std::string device = "1";
    std::string name;
    std::string type;
    std::string unit;
    bool header = false;
    char delimiter = '\0';  // found in the first row
};

struct TagRow {
    std::string raw;  // as read, without its line break
    std::size_t line = 0;
    bool blank = false;      // nothing in it: passed over
    std::size_t fields = 0;  // how many fields it has
    // The cells, blanks around them trimmed; empty where the column is not given or the row
    // stops short of it.
    std::string device;
    std::string name;
    std::string type;
    std::string unit;
};

class TagRowReader {
  public:
    TagRowReader(Input input, TagColumns columns);

    // Reads the header, when there is one, and finds the columns: none, or why the list does not
    // fit them ("no column named Type in the header: its columns are ..."). A list with a header
    // asked for that has no row at all has no columns to find, and no rows.
    std::optional<text::Failure> Start();
    // The next row, blank ones included; false at the end.
    bool Next(TagRow& row);

    const std::optional<std::string>& header() const noexcept { return header_; }
    std::size_t header_fields() const noexcept { return header_fields_; }
    const TagColumns& columns() const noexcept { return columns_; }
    char delimiter() const { return reader_.delimiter(); }
    bool marked_unicode() const { return reader_.marked_unicode(); }

  private:
    TagColumns columns_;
    CsvReader reader_;
    CsvRecord record_;
    std::optional<std::string> header_;
    std::size_t header_fields_ = 0;
    bool empty_ = false;
    std::optional<std::size_t> device_, name_, type_, unit_;
};

}  // namespace taglist
