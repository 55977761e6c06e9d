// One scan of the devices asked for: the requests planned once, sent over the link, and every
// device's value or the reason it has none. A request the controller refuses as an illegal data
// address, when it reads more than one device, is split and sent again: a model smaller than the
// map (an ES has D0-D4095 at most) refuses the whole request for the one device it lacks. The
// split plan is kept, so later scans send what worked.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "conversion/typed_items.h"
#include "scan/write_plan.h"
#include "transport/link.h"

namespace scan {

// A device's entry and what the last scan found there.
struct DeviceValue {
    conversion::MapEntry entry;
    std::optional<std::uint16_t> value;  // 0 or 1 for a bit, the word for a register
    std::string error;                   // why there is no value
    // The type the user said ("D200:f32"), none for an entry read as itself; for a 32-bit value
    // `value` is its low word and `high` its high word.
    std::optional<conversion::ValueType> type = std::nullopt;
    std::optional<std::uint16_t> high = std::nullopt;
    // For a write: the words written (a 32-bit value's high word in the upper half), to show
    // beside what was read back.
    std::optional<std::uint32_t> written = std::nullopt;
};

// A request that failed and the devices it was to read, for one line on standard error:
// "D9000: the controller answered exception 02 (illegal data address)".
struct RequestFailure {
    std::string devices;  // "D9000", "M0-M15"
    std::string message;
};

// Why a scan ended before its last request: the line went silent at one request (or failed), so
// nothing after it was sent.
struct ScanEnd {
    std::string devices;  // the request the controller did not answer: "D100", "M0-M15"
    transport::LineState line = transport::LineState::Silent;
    // The delay of a late reply that came while the line's owed replies were waited out: the
    // controller is there, only slower than the timeout.
    std::optional<std::chrono::milliseconds> late;
    std::string message;  // why what follows was not sent: "the controller did not answer D100"
};

// Why a scan (or a write) ends at the request of `devices` that failed with `outcome` and left the
// line silent or down.
ScanEnd EndAt(std::string devices, const transport::Outcome& outcome);

// On a silent line, waits out the replies `link` still owes: if one comes, the controller is there
// and only slow, and `end` says how late, so the user is told so rather than to check the cable.
void SettleAfter(ScanEnd& end, transport::Link& link);

// A request of a scan's plan and the devices it reads: "D100-D109".
struct PlannedRead {
    modbus::ReadRequest request;
    std::string devices;
};

class Scanner {
  public:
    // Plans the reads of `entries` once, for the least time a scan takes on a link of `cost`; each
    // of `low_words` (a 32-bit value's low word) read in one request with the next address.
    Scanner(const std::vector<conversion::MapEntry>& entries, const modbus::LineCost& cost,
            std::vector<conversion::MapEntry> low_words = {});

    // Reads every device once over `link`: `values` in the order asked, and the requests that
    // failed.
    void Scan(transport::Link& link);

    // The same scan for a caller that sends the requests itself, such as a gateway's queue: Begin,
    // then while Next gives a request, send it and give Take its outcome and the time it took.
    // Nothing here waits or touches a line.
    void Begin();
    const modbus::ReadRequest* Next() const;
    void Take(const transport::Outcome& outcome, std::chrono::nanoseconds took);

    const std::vector<DeviceValue>& values() const { return values_; }
    const std::vector<RequestFailure>& failures() const { return failures_; }
    bool all_read() const { return failures_.empty(); }
    // Set when the last scan ended early.
    const std::optional<ScanEnd>& ended_early() const { return ended_early_; }
    std::size_t requests() const { return plan_.size(); }
    // The requests a scan sends, in order, each with its devices as DevicesText writes them.
    std::vector<PlannedRead> PlannedReads() const;
    // The entries the scanner reads, in the order asked, and the low words among them.
    std::vector<conversion::MapEntry> entries() const;
    const std::vector<conversion::MapEntry>& low_words() const { return low_words_; }
    // The controller's reply delay as the scans measured it, on a serial line: the median, over
    // the requests answered at their first try, of the time each took less its characters on the
    // line. None before the first such answer, and over Modbus TCP.
    std::optional<std::chrono::milliseconds> MeasuredReplyDelay() const;

  private:
    struct Planned {
        modbus::ReadRequest request;
        std::vector<std::size_t> asked;  // indexes into values_, by address
    };

    // Each of `requests` with the devices of `asked` it reads.
    std::vector<Planned> Attach(const std::vector<modbus::ReadRequest>& requests,
                                const std::vector<std::size_t>& asked) const;
    void Fail(const Planned& planned, const std::string& message);
    // The requests after `index` left unsent, each device given why.
    std::string RequestText(const Planned& planned) const;
    void EndAfter(std::size_t index, const transport::Outcome& outcome);
    // Splits a refused request; gives false when it reads one device and cannot be split.
    bool Split(std::size_t index);

    std::vector<DeviceValue> values_;
    std::vector<conversion::MapEntry> low_words_;
    modbus::LineCost line_;                         // the line's cost without any reply delay
    std::map<std::int64_t, std::uint64_t> delays_;  // milliseconds -> requests that waited them
    std::vector<Planned> plan_;
    std::size_t next_ = 0;  // the request Next gives
    std::vector<RequestFailure> failures_;
    std::optional<ScanEnd> ended_early_;
};

// The devices of a request, per letter in the order of their addresses: "D9000" for one device,
// "M0-M15" for several of a letter (first and last by address), "M1535, C0-C5" across letters.
std::string DevicesText(const std::vector<conversion::MapEntry>& entries);

}  // namespace scan
