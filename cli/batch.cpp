#include "cli/batch.h"

#include <algorithm>
#include <array>
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

void AppendUnanswered(std::string& out, const CsvRecord& record, std::string_view message) {
    out += record.raw;
    out.append(kColumnNames.size() - 2, ',');
    out += ',';
    AppendCsvField(out, message);
    out += '\n';
}

}  // namespace

BatchCounts RunBatch(const CsvReader::Source& source, const Sink& out, const Sink& errors,
                     const BatchOptions& options) {
    CsvReader reader(source, options.column);
    Buffered output(out), error_lines(errors);
    BatchCounts counts;
    CsvRecord record;
    while (reader.Next(record)) {
        ++counts.rows;
        if (options.header && counts.rows == 1) {
            output.text() += record.raw;
            for (std::size_t i = 1; i < kColumnNames.size(); ++i) {
                output.text() += ',';
                output.text() += kColumnNames[i];
            }
            output.text() += '\n';
            ++counts.written;
            continue;
        }
        std::string problem;
        if (record.unclosed_quote) {
            problem = "a quote opened in this row is never closed";
        } else if (!record.has_item) {
            problem = "this row has no column " + std::to_string(options.column + 1);
        } else if (const auto result = conversion::LookUp(record.item); result.ok()) {
            for (const auto& entry : result.found()) {
                output.text() += record.raw;
                EntryText(entry).AppendCsv(output.text());
                output.text() += ",\n";  // the error column, empty
                ++counts.written;
            }
        } else {
            problem = result.message;
        }
        if (!problem.empty()) {
            ++counts.unanswered;
            ++counts.written;
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
