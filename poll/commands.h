// zentriq-poll's three commands, each run once the items are read and the line is open: read the
// devices once, watch them scan after scan, write values and read them back. Each writes its
// results and its failures to the streams it is given, and gives the exit status.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "console/program.h"
#include "conversion/poll_items.h"
#include "poll/options.h"
#include "poll/tag_list.h"
#include "scan/asked_values.h"
#include "scan/write_plan.h"
#include "transport/link.h"

namespace poll {

// Where a command writes: its results (standard output, a file, or a test's string) and its
// messages (standard error).
struct Streams {
    console::Output& out;
    const console::Messages& messages;
};

// Whether the program was asked to stop: a watch ends at the scan under way.
using Stopped = std::function<bool()>;
// Whether a report of the line's counters was asked for (SIGUSR1) since the last call.
using ReportAsked = std::function<bool()>;

int Read(const Options& options, const std::vector<scan::AskedValue>& asked, transport::Link& link,
         const Streams& streams);

int Watch(const Options& options, const std::vector<scan::AskedValue>& asked, transport::Link& link,
          const Stopped& stopped, const ReportAsked& report_asked, const Streams& streams);

// Says the line's counters on standard error: `scans` since `started`.
// With the `scanner` of a read or watch, the plan the reply delay it measured would give.
void ReportStats(const Options& options, const console::Messages& messages,
                 const transport::Link& link, std::uint64_t scans,
                 std::chrono::steady_clock::time_point started,
                 const scan::Scanner* scanner = nullptr);

// After scan number `scan` of a watch begun at `started`: whether another is due, once the
// --interval from the scan's start has passed (false after --count scans, or when stopped).
bool NextScanDue(const Options& options, std::uint64_t scan,
                 std::chrono::steady_clock::time_point started, transport::Link& link,
                 const Stopped& stopped);

// Writes `rows` (the header first) to the spreadsheet `path`: an exit status, the failure said.
int WriteSpreadsheet(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                     const console::Messages& messages);

// read and watch over a tag list: the list's rows with value and error columns appended.
int ReadBatch(const Options& options, const TagList& list, transport::Link& link,
              const Streams& streams);
int WatchBatch(const Options& options, const TagList& list, transport::Link& link,
               const Stopped& stopped, const ReportAsked& report_asked, const Streams& streams);

// Writes each request of `requests` (planned from `assignments`), then reads every value written
// back, as `written` asks for them (their entries those of `assignments`, in order).
int Write(const Options& options, const std::vector<conversion::Assignment>& assignments,
          const std::vector<scan::PlannedWrite>& requests,
          const std::vector<scan::AskedValue>& written, transport::Link& link,
          const Streams& streams);

}  // namespace poll
