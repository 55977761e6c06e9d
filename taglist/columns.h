// The columns of a tag list named in its header, as both programs find them: "Device" finds
// "device" and " Device ", and a name that is not there is refused with the names there are.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "taglist/csv_reader.h"
#include "text/failure.h"

namespace taglist {

// The column of `header` named `name` (any case, blanks around ignored), or a failure saying so
// and naming the columns there are.
text::Result<std::size_t> ColumnNamed(const CsvRecord& header, char delimiter,
                                      std::string_view name);

// The column `wanted` names, counting from 0: a number from 1, or, where the list has a header and
// `wanted` is no number, the column of that name.
text::Result<std::size_t> ColumnOf(const std::string& wanted, const CsvRecord* header,
                                   char delimiter);

}  // namespace taglist
