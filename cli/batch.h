// Batch mode: a tag list in, the same rows out with the result columns appended, streamed. The
// rows go to a BatchWriter: CSV text in the list's own separator, or the cells of a spreadsheet.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/output_block.h"
#include "conversion/device_map.h"
#include "taglist/csv_reader.h"

namespace cli {

struct BatchOptions {
    std::size_t column = 0;   // counts from 0
    std::string column_name;  // with `header`: the column of that name (any case) instead
    bool header = false;      // the first row names the columns and is passed through
    char delimiter = taglist::CsvReader::kFindDelimiter;
    std::optional<conversion::ModbusTable> table;  // answers from this table only
    bool flush_before_read = false;  // the input may wait: hand on every answer before it does
    conversion::BareNumbers numbers = conversion::BareNumbers::Any;  // how the list means them
};

struct BatchCounts {
    std::size_t rows = 0;        // input rows read, the header included
    std::size_t unanswered = 0;  // rows whose item had no answer
    std::size_t written = 0;     // output rows, the header included
    bool output_failed = false;  // the output refused a write: the rest was not read
    std::string usage_error;     // the list does not fit the options (no column of that name)
};

// Where the rows of a batch go, in order. `padding` is how many empty fields a short row needs to
// reach the width of the list's first row, so that the results sit under their own names.
class BatchWriter {
  public:
    virtual ~BatchWriter() = default;

    // Before the first row: whether the list was marked as Unicode, its separator, and the table
    // that answers (every table when none).
    virtual void Begin(bool marked_unicode, char delimiter,
                       std::optional<conversion::ModbusTable> table) = 0;
    virtual void Header(const taglist::CsvRecord& record) = 0;
    virtual void Answer(const taglist::CsvRecord& record, std::size_t padding,
                        const conversion::MapEntry& entry) = 0;
    virtual void Unanswered(const taglist::CsvRecord& record, std::size_t padding,
                            std::string_view message) = 0;
    virtual void Blank(const taglist::CsvRecord& record) = 0;

    // Writes the rows of a record whose item names a device plainly (D100) from what the writer
    // made for that device before, and gives how many; 0 when it keeps no such answers, or the item
    // is to be looked up the long way (and then written with Answer or Unanswered).
    virtual std::size_t AnswerPlainDevice(const taglist::CsvRecord& /*record*/,
                                          std::size_t /*padding*/) {
        return 0;
    }

    // Hands on all that has gathered: the input is about to wait, or has ended. (Rows are handed
    // on by themselves in large pieces meanwhile.)
    virtual void Flush() = 0;

    // Whether the output refused a write, after which nothing more is worth reading.
    bool failed() const { return failed_; }

    // Whether some row could not be written whole (a spreadsheet cell holds only so much).
    bool lossy() const { return lossy_; }

  protected:
    bool failed_ = false;
    bool lossy_ = false;
};

// Writes the rows as CSV text to `out`: each row as it was read, then the result columns in the
// list's separator (the list's own quoting kept), a byte-order mark first when the list had one.
// `block`: how much gathers before it goes to `out` (OutputBlock).
std::unique_ptr<BatchWriter> CsvBatchWriter(Sink out, std::size_t block = OutputBlock::kBlockSize);

// Reads every record of `source` and writes each to `writer`, in order, with its results (two rows
// for a device with two entries, the error column filled for an item with no answer, a blank row
// as it is); writes one line per unanswered row, naming its line number, to `errors`.
BatchCounts RunBatch(taglist::Input input, BatchWriter& writer, const Sink& errors,
                     const BatchOptions& options);

}  // namespace cli
