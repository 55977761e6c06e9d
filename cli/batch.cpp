#include "cli/batch.h"

#include <algorithm>
#include <string>
#include <utility>

#include "cli/device_answers.h"
#include "cli/entry_text.h"
#include "cli/output.h"
#include "taglist/columns.h"
#include "text/ascii_text.h"

namespace cli {

namespace {

constexpr std::size_t kFlushSize = 1 << 16;
// Notes on how bare numbers were read, one line each, before they are only counted: a list written
// in one notation would otherwise give one for every row.
constexpr std::size_t kNotesShown = 10;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Collects text and hands it on in large pieces: one write per row would cost more than the
// lookup itself.
class Buffered {
  public:
    explicit Buffered(Sink sink) : sink_(std::move(sink)) {}

    std::string& text() { return text_; }
    bool full() const { return text_.size() >= kFlushSize; }
    // False when the sink could not take the text.
    bool Flush() {
        if (text_.empty()) {
            return true;
        }
        const bool written = sink_(text_);
        text_.clear();
        return written;
    }

  private:
    Sink sink_;
    std::string text_;
};

class CsvWriter final : public BatchWriter {
  public:
    explicit CsvWriter(Sink out) : out_(std::move(out)) {}

    void Begin(bool marked_unicode, char delimiter,
               std::optional<conversion::ModbusTable> table) override {
        delimiter_ = delimiter;
        answers_.emplace(delimiter, table);
        if (marked_unicode) {  // so that a spreadsheet still reads the result as UTF-8
            out_.text() += kUtf8Bom;
        }
    }

    void Header(const taglist::CsvRecord& record) override {
        out_.text() += record.raw;
        for (std::size_t i = 1; i < kColumnNames.size(); ++i) {
            out_.text() += delimiter_;
            out_.text() += kColumnNames[i];
        }
        out_.text() += '\n';
        RowDone();
    }

    void Answer(const taglist::CsvRecord& record, std::size_t padding,
                const conversion::MapEntry& entry) override {
        std::string& out = out_.text();
        out += record.raw;
        if (padding > 0) {
            out.append(padding, delimiter_);
        }
        AppendAnswerColumns(out, entry, delimiter_);
        out += '\n';
        RowDone();
    }

    std::size_t AnswerPlainDevice(const taglist::CsvRecord& record,
                                  std::size_t padding) override {
        const auto answer = answers_->Find(record.item);
        if (!answer) {
            return 0;
        }
        std::string& out = out_.text();
        for (std::size_t i = 0; i < answer->count; ++i) {
            out += record.raw;
            if (padding > 0) {
                out.append(padding, delimiter_);
            }
            out += answer->texts[i];
        }
        RowDone();
        return answer->count;
    }

    void Unanswered(const taglist::CsvRecord& record, std::size_t padding,
                    std::string_view message) override {
        std::string& out = out_.text();
        out += record.raw;
        out.append(padding + kColumnNames.size() - 1, delimiter_);
        AppendCsvField(out, message, delimiter_);
        out += '\n';
        RowDone();
    }

    void Blank(const taglist::CsvRecord& record) override {
        out_.text() += record.raw;
        out_.text() += '\n';
        RowDone();
    }

    void Flush() override { failed_ = failed_ || !out_.Flush(); }

  private:
    void RowDone() {
        if (out_.full()) {
            Flush();
        }
    }

    Buffered out_;
    char delimiter_ = ',';
    std::optional<DeviceAnswers> answers_;  // made in Begin, for the list's separator
};

}  // namespace

std::unique_ptr<BatchWriter> CsvBatchWriter(Sink out) {
    return std::make_unique<CsvWriter>(std::move(out));
}

BatchCounts RunBatch(taglist::Input input, BatchWriter& writer, const Sink& errors,
                     const BatchOptions& options) {
    taglist::CsvReader reader(std::move(input), options.column, options.delimiter);
    Buffered error_lines(errors);
    BatchCounts counts;
    std::size_t notes = 0;  // bare numbers read one way of several
    if (options.flush_before_read) {
        reader.set_before_read([&] {
            writer.Flush();
            error_lines.Flush();
        });
    }
    std::size_t column = options.column;
    std::size_t width = 0;  // fields of the first row that is not blank
    taglist::CsvRecord record;
    while (!writer.failed() && reader.Next(record)) {
        if (counts.rows++ == 0) {
            writer.Begin(reader.marked_unicode(), reader.delimiter(), options.table);
        }
        ++counts.written;
        if (record.blank && !record.unclosed_quote) {
            writer.Blank(record);
            continue;
        }
        if (width == 0) {
            width = record.fields;
            reader.set_enough_fields(width);
            if (options.header) {
                if (!options.column_name.empty()) {
                    auto named =
                        taglist::ColumnNamed(record, reader.delimiter(), options.column_name);
                    if (auto* failure = std::get_if<text::Failure>(&named)) {
                        counts.usage_error = std::move(failure->message);
                        return counts;
                    }
                    column = std::get<std::size_t>(named);
                    reader.set_column(column);
                }
                writer.Header(record);
                continue;
            }
        }
        const std::size_t padding = record.fields < width ? width - record.fields : 0;
        if (!record.unclosed_quote) {
            if (const std::size_t rows = writer.AnswerPlainDevice(record, padding)) {
                counts.written += rows - 1;
                continue;
            }
        }
        std::string problem;
        if (record.unclosed_quote) {
            problem = "a quote opened in this row is never closed";
        } else if (!record.has_item) {
            problem = "this row has no column " + std::to_string(column + 1);
        } else if (const auto result =
                       conversion::LookUp(record.item, options.table, options.numbers);
                   result.ok()) {
            counts.written += result.found().size() - 1;
            for (const auto& entry : result.found()) {
                writer.Answer(record, padding, entry);
            }
            if (result.read_as != conversion::NumberForm::None && ++notes <= kNotesShown) {
                error_lines.text() +=
                    "zentriq-lookup: line " + std::to_string(record.line) + ": " +
                    conversion::DisplayText(record.item) + ": " +
                    conversion::ReadingNote(record.item, result, options.table, options.numbers) +
                    "\n";
            }
        } else {
            problem = result.message;
        }
        if (!problem.empty()) {
            ++counts.unanswered;
            writer.Unanswered(record, padding, problem);
            error_lines.text() +=
                "zentriq-lookup: line " + std::to_string(record.line) + ": " + problem + "\n";
            if (error_lines.full()) {
                error_lines.Flush();
            }
        }
    }
    if (notes > kNotesShown) {
        error_lines.text() += "zentriq-lookup: " + std::to_string(notes - kNotesShown) +
                              " more numbers read one way of several, as the notes above say; "
                              "--numbers hex|decimal|reference says how the list means them\n";
    }
    writer.Flush();
    error_lines.Flush();
    counts.output_failed = writer.failed();
    return counts;
}

}  // namespace cli
