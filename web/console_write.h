// A write asked from a page: one assignment as zentriq-poll reads them ("D100=250", "Y0=on",
// "D200:f32=21.5"), planned into the fewest requests, sent one at a time through the gateway's
// queue as the console's turns come, then read back, so that the page shows what the controller
// holds beside what was written. Stepped by the caller, as the watch list's scan is: nothing here
// waits or touches a line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modbus/line_cost.h"
#include "scan/asked_values.h"
#include "scan/scanner.h"
#include "text/failure.h"

namespace web {

// What the gateway answered to one of the console's requests, as a line's outcome: the gateway's
// own 0A and 0B say the line or the station did not answer, in its words.
transport::Outcome OutcomeOf(const std::vector<std::uint8_t>& request,
                             std::vector<std::uint8_t> answer, std::string result);

// A device written, as the page's confirmation and its outcome show it.
struct WriteRow {
    std::string device;  // "D200:f32"
    std::string address;
    std::string reference;
    std::string written;    // the value as written
    std::string read_back;  // empty until read, or when it could not be
    std::string error;
};

// The writes `item` asks for, or why it cannot be written ("D100 is a ..."): exactly one
// assignment.
text::Result<scan::AskedWrites> ReadWrite(const std::string& item);

// What `writes` would write, for the page to confirm: the rows without a read-back.
std::vector<WriteRow> RowsToConfirm(const scan::AskedWrites& writes);

class WriteJob {
  public:
    WriteJob(scan::AskedWrites writes, const modbus::LineCost& cost);

    // The next request to send: the writes, then the reads back; none once done.
    std::optional<std::vector<std::uint8_t>> Next() const;
    // What the gateway answered to the request Next gave.
    void Take(const transport::Outcome& outcome, std::chrono::nanoseconds took);

    bool done() const { return !Next(); }
    // Each device written, its read-back and why either failed.
    std::vector<WriteRow> Rows() const;
    bool ok() const;

  private:
    scan::AskedWrites writes_;
    std::size_t next_write_ = 0;
    std::vector<std::string> not_written_;  // one per assignment: why it was not written
    std::string unsent_;                    // why the writes after a silent one were not sent
    scan::Scanner read_back_;
};

}  // namespace web
