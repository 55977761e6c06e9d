// zentriq-poll's plan: what a read costs on each link (conversion/read_plan.h plans the reads by
// it), and the writes, neighbours together.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "conversion/device_map.h"
#include "conversion/poll_items.h"
#include "modbus/function_codes.h"
#include "modbus/line_cost.h"
#include "modbus/requests.h"
#include "scan/read_plan.h"
#include "text/failure.h"
#include "transport/connection.h"

namespace scan {

// What a read costs on a link: the transport library's, for every program alike.
using transport::LineCostFor;

// Which function codes a write uses: the fewest requests (15 or 16 for neighbours, 05 or 06 for a
// device alone), one device a request (05 or 06 only, for devices and gateways that take no
// other), or 15 and 16 even for one device (for those that take only these).
enum class WriteCodes : std::uint8_t { Fewest, Single, Multiple };

// A write request and the assignments it carries, by their index in the list planned.
struct PlannedWrite {
    modbus::WriteRequest request;
    std::vector<std::size_t> assignments;
};

// The requests that write `assignments`: entries of one table at consecutive addresses together by
// 15 or 16 (at most 1968 coils or 123 registers a request), a device with no neighbour (or the one
// left over past those limits) by 05 or 06. Coils first, then registers, each by address. An entry
// assigned twice gives a message naming it ("D100 is assigned twice") and no requests; so does an
// entry ReadAssignment never gives, a discrete input or a 32-bit counter value.
text::Result<std::vector<PlannedWrite>> PlanWrites(
    std::span<const conversion::Assignment> assignments, WriteCodes codes = WriteCodes::Fewest);

}  // namespace scan
