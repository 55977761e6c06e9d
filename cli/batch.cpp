#include "cli/batch.h"

#include <string>

#include "cli/entry_text.h"
#include "cli/output.h"
#include "conversion/device_map.h"

namespace lookup {

namespace {

constexpr std::size_t kFlushSize = 1 << 16;

// Collects output and hands it on in large pieces: one write per row would cost more than the
// lookup itself.
class Buffered {
  public:
    explicit Buffered(const Sink& sink) : sink_(sink) {}
    Buffered(const Buffered&) = delete;
    Buffered& operator=(const Buffered&) = delete;
    ~Buffered() { Flush(); }

    std::string& text() { return text_; }
    void MaybeFlush() {
        if (text_.size() >= kFlushSize) {
            Flush();
        }
    }
    void Flush() {
        if (!text_.empty()) {
            sink_(text_);
            text_.clear();
        }
    }

  private:
    const Sink& sink_;
    std::string text_;
};

void AppendEntry(std::string& out, const CsvRecord& record, const conversion::MapEntry& entry) {
    out += record.raw;
    const EntryText text(entry);
    for (const auto cell : text.Cells()) {
        out += ',';
        AppendCsvField(out, cell);
    }
    out += ",\n";  // the error column, empty
}

void AppendUnanswered(std::string& out, const CsvRecord& record, std::string_view message) {
    out += record.raw;
    out.append(kColumnNames.size() - 2, ',');
    out += ',';
    AppendCsvField(out, message);
    out += '\n';
}

std::string ProblemOf(const CsvRecord& record, const BatchOptions& options,
                      conversion::LookupResult& result) {
    if (record.unclosed_quote) {
        return "a quote opened in this row is never closed";
    }
    if (!record.has_item) {
        return "this row has no column " + std::to_string(options.column + 1);
    }
    result = conversion::LookUp(record.item);
    return result.ok() ? std::string() : result.message;
}

}  // namespace

BatchCounts RunBatch(const CsvReader::Source& source, const Sink& out, const Sink& errors,
                     const BatchOptions& options) {
    CsvReader reader(source, options.column);
    Buffered output(out), error_lines(errors);
    BatchCounts counts;
    CsvRecord record;
    conversion::LookupResult result;
    while (reader.Next(record)) {
        ++counts.rows;
        if (options.header && counts.rows == 1) {
            output.text() += record.raw;
            for (std::size_t i = 1; i < kColumnNames.size(); ++i) {
                output.text() += ',';
                output.text() += kColumnNames[i];
            }
            output.text() += '\n';
            continue;
        }
        const std::string problem = ProblemOf(record, options, result);
        if (problem.empty()) {
            for (const auto& entry : result.found()) {
                AppendEntry(output.text(), record, entry);
            }
        } else {
            ++counts.unanswered;
            AppendUnanswered(output.text(), record, problem);
            error_lines.text() +=
                "zentriq-lookup: line " + std::to_string(record.line) + ": " + problem + "\n";
            error_lines.MaybeFlush();
        }
        output.MaybeFlush();
    }
    return counts;
}

}  // namespace lookup
