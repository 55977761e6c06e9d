#include "cli/batch.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "cli/device_answers.h"
#include "cli/entry_text.h"
#include "cli/output.h"
#include "cli/output_block.h"
#include "taglist/columns.h"
#include "text/ascii_text.h"

namespace cli {

namespace {

// Notes on how bare numbers were read, one line each, before they are only counted: a list written
// in one notation would otherwise give one for every row.
constexpr std::size_t kNotesShown = 10;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

class CsvWriter final : public BatchWriter {
  public:
    CsvWriter(Sink out, std::size_t block) : out_(std::move(out), block) {}

    void Begin(bool marked_unicode, char delimiter,
               std::optional<conversion::ModbusTable> table) override {
        delimiter_ = delimiter;
        answers_.emplace(delimiter, table);
        if (marked_unicode) {  // so that a spreadsheet still reads the result as UTF-8
            out_.Append(kUtf8Bom);
        }
    }

    void Header(const taglist::CsvRecord& record) override {
        row_.assign(record.raw);
        for (std::size_t i = 1; i < kColumnNames.size(); ++i) {
            row_ += delimiter_;
            row_ += kColumnNames[i];
        }
        Write();
    }

    void Answer(const taglist::CsvRecord& record, std::size_t padding,
                const conversion::MapEntry& entry) override {
        row_.assign(record.raw);
        row_.append(padding, delimiter_);
        AppendAnswerColumns(row_, entry, delimiter_);
        Write();
    }

    std::size_t AnswerPlainDevice(const taglist::CsvRecord& record, std::size_t padding) override {
        const std::size_t count = answers_->Find(record.item);
        if (count == 0) {
            return 0;
        }
        const std::size_t row = record.raw.size() + padding + DeviceAnswers::kRoom;
        char* at = out_.Room(count * row);
        for (std::size_t i = 0; i < count; ++i) {
            at = OutputBlock::Copy(at, record.raw);
            if (padding > 0) {
                at = static_cast<char*>(std::memset(at, delimiter_, padding)) + padding;
            }
            at = answers_->Put(at, i);
        }
        out_.Advance(at);
        RowDone();
        return count;
    }

    void Unanswered(const taglist::CsvRecord& record, std::size_t padding,
                    std::string_view message) override {
        row_.assign(record.raw);
        row_.append(padding + kColumnNames.size() - 1, delimiter_);
        AppendCsvField(row_, message, delimiter_);
        Write();
    }

    void Blank(const taglist::CsvRecord& record) override {
        row_.assign(record.raw);
        Write();
    }

    void Flush() override { failed_ = failed_ || !out_.Flush(); }

  private:
    // Writes the row made in row_, and its line break.
    void Write() {
        row_ += '\n';
        out_.Append(row_);
        RowDone();
    }

    void RowDone() {
        if (out_.full()) {
            Flush();
        }
    }

    OutputBlock out_;
    std::string row_;  // a row answered the long way, made here
    char delimiter_ = ',';
    std::optional<DeviceAnswers> answers_;  // made in Begin, for the list's separator
};

}  // namespace

std::unique_ptr<BatchWriter> CsvBatchWriter(Sink out, std::size_t block) {
    return std::make_unique<CsvWriter>(std::move(out), block);
}

BatchCounts RunBatch(taglist::Input input, BatchWriter& writer, const Sink& errors,
                     const BatchOptions& options) {
    taglist::CsvReader reader(std::move(input), options.column, options.delimiter);
    OutputBlock error_lines(errors);
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
                error_lines.Append(
                    "zentriq-lookup: line " + std::to_string(record.line) + ": " +
                    conversion::DisplayText(record.item) + ": " +
                    conversion::ReadingNote(record.item, result, options.table, options.numbers) +
                    "\n");
            }
        } else {
            problem = result.message;
        }
        if (!problem.empty()) {
            ++counts.unanswered;
            writer.Unanswered(record, padding, problem);
            error_lines.Append("zentriq-lookup: line " + std::to_string(record.line) + ": " +
                               problem + "\n");
            if (error_lines.full()) {
                error_lines.Flush();
            }
        }
    }
    if (notes > kNotesShown) {
        error_lines.Append("zentriq-lookup: " + std::to_string(notes - kNotesShown) +
                           " more numbers read one way of several, as the notes above say; "
                           "--numbers hex|decimal|reference says how the list means them\n");
    }
    writer.Flush();
    error_lines.Flush();
    counts.output_failed = writer.failed();
    return counts;
}

}  // namespace cli
