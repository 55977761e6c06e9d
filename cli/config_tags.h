// The tags of a config for another engine: a name and the value it reads, from items on the
// command line or from a tag list (its device column, and a name and a type column when it has
// them). Every address comes from the map through the typed items, as the table output's do.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/typed_items.h"
#include "scan/read_plan.h"
#include "taglist/tag_rows.h"
#include "taglist/input.h"
#include "text/failure.h"

namespace cli {

struct ConfigTag {
    std::string name;  // as the list or the command line has it; each writer makes it safe
    conversion::TypedValue value;
    bool writable = false;  // a coil the type column asks to switch (type "switch")
    std::size_t line = 0;   // its row in a tag list; 0 for an item on the command line
    std::string unit;       // from the list's unit column: "°C", "l/min"
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

// Where a tag list's columns are: the one description both programs read a list by.
using taglist::TagColumns;

// Says why the tag of a list's `line` (0 for an item on the command line) is left out.
using RefuseTag = std::function<void(std::size_t line, std::string_view why)>;

// The tags of a tag list read from `source`, each with its line. A row that names no value, or a
// type it cannot hold, is said through `refuse` (4, "M0:f32: ..."; 5, "column Type: float64 is not
// a type: ...") and left out; blank rows are skipped. A column that is not there is a failure
// ("no column named Type in the header").
text::Result<std::vector<ConfigTag>> ReadConfigTags(taglist::Input input,
                                                    const TagColumns& columns,
                                                    conversion::BareNumbers numbers,
                                                    const RefuseTag& refuse);

// What a config says beyond its tags' addresses.
struct ConfigSettings {
    // How often the engine polls, in seconds; none: long enough for the engine's own requests on
    // the line (ConfigInterval).
    std::optional<unsigned> interval;
    unsigned precision = 1;  // the decimals an engine shows of a 32-bit float
};

// The seconds between polls that `settings` asks for, or else `line_time` (what the engine's
// requests take on the line in one round) rounded up to a whole second, and at least `least`.
unsigned ConfigInterval(const ConfigSettings& settings, std::chrono::nanoseconds line_time,
                        unsigned least);

// The requests that read every tag's value, as scan::PlanReads plans them on a link of
// `cost`: a 32-bit value's two words always in one request.
std::vector<modbus::ReadRequest> PlanTagReads(std::span<const ConfigTag> tags,
                                              const modbus::LineCost& cost);

}  // namespace cli
