// Batch mode: a CSV tag list in, the same rows out with the result columns appended, streamed.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "cli/csv_reader.h"

namespace lookup {

struct BatchOptions {
    std::size_t column = 0;  // counts from 0
    bool header = false;     // the first row names the columns and is passed through
};

struct BatchCounts {
    std::size_t rows = 0;        // input rows read, the header included
    std::size_t unanswered = 0;  // rows whose item had no answer
    std::size_t written = 0;     // output rows, the header included
};

// Receives output in large pieces.
using Sink = std::function<void(std::string_view)>;

// Reads every record of `source` and writes each to `out`, in order, with the result columns
// appended (two lines for a device with two entries, the error column filled for an item with no
// answer); writes one line per unanswered row, naming its line number, to `errors`.
BatchCounts RunBatch(const CsvReader::Source& source, const Sink& out, const Sink& errors,
                     const BatchOptions& options);

}  // namespace lookup
