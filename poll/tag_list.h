// A tag list in, its live values out: the list read as zentriq-lookup reads lists (the same reader:
// a byte-order mark, UTF-16, the separator found, blank and short rows), each row's device (with
// the type its type column gives) read as an item, and each row written back as it was read with
// the value and error columns appended, in the list's own separator.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "conversion/device_map.h"
#include "scan/asked_values.h"
#include "taglist/tag_rows.h"
#include "taglist/input.h"
#include "text/failure.h"

namespace poll {

struct TagRow {
    std::string raw;  // as read, without its line break
    std::size_t line = 0;
    bool blank = false;
    std::size_t fields = 0;
    std::string error;      // why the row reads nothing: its item named no device
    std::size_t first = 0;  // its values among the list's asked values
    std::size_t count = 0;
};

struct TagList {
    char delimiter = ',';
    bool marked_unicode = false;
    std::optional<std::string> header;  // the header row as read
    std::size_t width = 0;              // the fields of the first row
    std::vector<TagRow> rows;
    std::vector<scan::AskedValue> asked;  // every row's values, in order
};

// Reads every row of `source`. A row whose item names nothing keeps its error and is read no
// further; only a column that is not there fails the whole list ("no column named Type in the
// header").
text::Result<TagList> ReadTagList(taglist::Input input, const taglist::TagColumns& columns,
                                  std::optional<conversion::ModbusTable> table,
                                  conversion::BareNumbers numbers);

// The rows of `list` with a value and an error column, in its separator: the header (when it has
// one) with "value" and "error", then each row as read once per value (a T or C gives two), a
// short row padded to the first row's width so that the values stand under their names, a blank
// row as it is. `values` are the scan's values of list.asked (scan::ValuesAsAsked).
std::vector<std::vector<std::string>> TagRows(const TagList& list,
                                              const std::vector<scan::DeviceValue>& values);

// The same as CSV text in the list's separator, each row's own fields kept as read (and quoted).
std::string TagListText(const TagList& list, const std::vector<scan::DeviceValue>& values);

}  // namespace poll
