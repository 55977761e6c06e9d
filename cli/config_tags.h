// The tags of a config for another engine: a name and the value it reads, from items on the
// command line or from a tag list (its device column, and a name and a type column when it has
// them). Every address comes from the map through the typed items, as the table output's do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/typed_items.h"
#include "taglist/utf8_source.h"
#include "text/failure.h"

namespace cli {

struct ConfigTag {
    std::string name;  // as the list or the command line has it; each writer makes it safe
    conversion::TypedValue value;
    bool writable = false;  // a coil the type column asks to switch (type "switch")
};

// The values a config reads for `item` with `type` (empty: none given): the typed item's values,
// a T or C by its value (a holding register) unless its type is bool. The type "switch" is a bool
// the engine may also write: a coil, never an input. A 32-bit counter value
// (C200-C255), whose packing is not established, gives no value and says so as a failure. The
// values of a range are named after their devices: "D101" where the range names itself, and
// "name_D101" under a name of its own.
text::Result<std::vector<ConfigTag>> ConfigTagsOf(std::string_view name, std::string_view item,
                                                  std::string_view type,
                                                  conversion::BareNumbers numbers);

// Where a tag list's columns are: each a number from 1 or, with a header, a name; the name and type
// columns may be left out (empty): the device then names its tag, and each value has its default
// type.
struct TagColumns {
    std::string device = "1";
    std::string name;
    std::string type;
    bool header = false;
    char delimiter = '\0';  // found in the first row
};

// The tags of a tag list read from `source`. A row that names no value, or a type it cannot
// hold, is said through `refuse` ("line 4: M0:f32: ...") and left out; blank rows are skipped. A
// column that is not there is a failure ("no column named Type in the header").
text::Result<std::vector<ConfigTag>> ReadConfigTags(
    taglist::Source source, const TagColumns& columns, conversion::BareNumbers numbers,
    const std::function<void(std::string_view)>& refuse);

}  // namespace cli
