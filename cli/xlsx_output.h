// --format xlsx: the rows of the csv output as a spreadsheet file, every address, reference and
// name a text cell (a spreadsheet opening the CSV turns 0E00 into 0 and 003585 into 3585), the
// decimal address a number.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/batch.h"
#include "cli/output.h"
#include "text/failure.h"

namespace cli {

// Whether this build writes spreadsheets, and if not, why (said to the user as it stands).
bool HaveXlsx();
extern const std::string_view kNoXlsxReason;

// Writes the results of items given on the command line to the spreadsheet `path`: the rows and
// columns of the csv output. A failure when the file could not be written; `lossy` set, with a
// line on `errors`, when a cell had to be cut to fit.
std::optional<text::Failure> WriteLookupsXlsx(const std::string& path,
                                              std::span<const Lookup> lookups, const Sink& errors,
                                              bool& lossy);

// A batch writer into the spreadsheet `path`: the list's own fields as text cells, then the
// result columns; a cell that had to be cut to fit a spreadsheet gets a line on `errors`. A
// failure when the file cannot be written.
text::Result<std::unique_ptr<BatchWriter>> XlsxBatchWriter(const std::string& path,
                                                           const Sink& errors);

// Writes the file of a writer made by XlsxBatchWriter. A failure when it could not be written
// whole, or a row could not be written (the file is then removed).
std::optional<text::Failure> FinishXlsx(BatchWriter& writer);

}  // namespace cli
