#include "cli/xlsx_output.h"

#include <vector>

#include "cli/entry_text.h"

#ifdef ZENTRIQ_HAVE_XLSX
#include "taglist/xlsx_writer.h"
#endif

namespace cli {

#ifndef ZENTRIQ_HAVE_XLSX

const std::string_view kNoXlsxReason =
    "--format xlsx is not available in this build of zentriq-lookup: write csv, or use the build "
    "for Linux";

bool HaveXlsx() {
    return false;
}

std::optional<text::Failure> WriteLookupsXlsx(const std::string&, std::span<const Lookup>,
                                              const Sink&, bool&) {
    return text::Failure{std::string(kNoXlsxReason)};
}

text::Result<std::unique_ptr<BatchWriter>> XlsxBatchWriter(const std::string&, const Sink&) {
    return text::Failure{std::string(kNoXlsxReason)};
}

std::optional<text::Failure> FinishXlsx(BatchWriter&) {
    return text::Failure{std::string(kNoXlsxReason)};
}

#else

const std::string_view kNoXlsxReason;

bool HaveXlsx() {
    return true;
}

namespace {

constexpr std::size_t kDecimalColumn = 4;  // of kColumnNames

std::vector<taglist::XlsxCell> CellsOf(const std::vector<std::string>& texts, std::size_t decimal) {
    std::vector<taglist::XlsxCell> cells;
    cells.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        cells.push_back({texts[i], i == decimal && !texts[i].empty()});
    }
    return cells;
}

class XlsxRows final : public BatchWriter {
  public:
    XlsxRows(std::unique_ptr<taglist::XlsxWriter> file, const Sink& errors)
        : file_(std::move(file)), errors_(errors) {}

    void Begin(bool /*marked_unicode*/, char delimiter,
               std::optional<conversion::ModbusTable> /*table*/) override {
        delimiter_ = delimiter;
    }

    void Header(const taglist::CsvRecord& record) override {
        auto fields = taglist::SplitFields(record.raw, delimiter_);
        width_ = fields.size();
        fields.insert(fields.end(), kColumnNames.begin() + 1, kColumnNames.end());
        Add(record, fields, fields.size());
    }

    void Answer(const taglist::CsvRecord& record, std::size_t padding,
                const conversion::MapEntry& entry) override {
        auto fields = Fields(record, padding);
        const std::size_t decimal = fields.size() + kDecimalColumn - 1;
        const EntryText text(entry);
        for (const auto cell : text.Cells()) {
            fields.emplace_back(cell);
        }
        fields.emplace_back();
        Add(record, fields, decimal);
    }

    void Unanswered(const taglist::CsvRecord& record, std::size_t padding,
                    std::string_view message) override {
        auto fields = Fields(record, padding);
        fields.resize(fields.size() + kColumnNames.size() - 2);
        fields.emplace_back(message);
        Add(record, fields, fields.size());
    }

    void Blank(const taglist::CsvRecord& record) override {
        Add(record, taglist::SplitFields(record.raw, delimiter_), SIZE_MAX);
    }

    void Flush() override {}

    std::optional<text::Failure> Finish() {
        if (failed_) {
            return text::Failure{failure_};
        }
        return file_->Close();
    }

  private:
    std::vector<std::string> Fields(const taglist::CsvRecord& record, std::size_t padding) const {
        auto fields = taglist::SplitFields(record.raw, delimiter_);
        fields.resize(fields.size() + padding);
        return fields;
    }

    void Add(const taglist::CsvRecord& record, const std::vector<std::string>& texts,
             std::size_t decimal) {
        if (failed_) {
            return;
        }
        const auto cells = CellsOf(texts, decimal);
        std::string message;
        switch (file_->AddRow(cells, message)) {
            case taglist::XlsxWriter::RowResult::Written:
                break;
            case taglist::XlsxWriter::RowResult::Cut:
                lossy_ = true;
                errors_("zentriq-lookup: line " + std::to_string(record.line) + ": " + message +
                        "\n");
                break;
            case taglist::XlsxWriter::RowResult::Failed:
                failed_ = true;
                failure_ = message;
                break;
        }
    }

    std::unique_ptr<taglist::XlsxWriter> file_;
    const Sink& errors_;
    char delimiter_ = ',';
    std::size_t width_ = 0;
    std::string failure_;
};

}  // namespace

std::optional<text::Failure> WriteLookupsXlsx(const std::string& path,
                                              std::span<const Lookup> lookups, const Sink& errors,
                                              bool& lossy) {
    auto created = taglist::XlsxWriter::Create(path);
    if (auto* failure = std::get_if<text::Failure>(&created)) {
        return std::move(*failure);
    }
    const auto& file = std::get<std::unique_ptr<taglist::XlsxWriter>>(created);
    const auto rows = LookupRows(lookups);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string message;
        const auto cells = CellsOf(rows[i], i == 0 ? SIZE_MAX : kDecimalColumn);
        switch (file->AddRow(cells, message)) {
            case taglist::XlsxWriter::RowResult::Written:
                break;
            case taglist::XlsxWriter::RowResult::Cut:
                lossy = true;
                errors("zentriq-lookup: " + message + "\n");
                break;
            case taglist::XlsxWriter::RowResult::Failed:
                return text::Failure{std::move(message)};
        }
    }
    return file->Close();
}

text::Result<std::unique_ptr<BatchWriter>> XlsxBatchWriter(const std::string& path,
                                                           const Sink& errors) {
    auto created = taglist::XlsxWriter::Create(path);
    if (auto* failure = std::get_if<text::Failure>(&created)) {
        return std::move(*failure);
    }
    return std::unique_ptr<BatchWriter>(std::make_unique<XlsxRows>(
        std::move(std::get<std::unique_ptr<taglist::XlsxWriter>>(created)), errors));
}

std::optional<text::Failure> FinishXlsx(BatchWriter& writer) {
    return static_cast<XlsxRows&>(writer).Finish();
}

#endif

}  // namespace cli
